// The queued mode's background writer: a queue of 1,000 slots (999 usable,
// equal indices mean empty) between the log and one thread that writes the
// lines to its own ring file in batches.
//
// Ownership: slots from the read index up to the write index belong to the
// thread, all others to the log; the queue lock guards only the two indices.
// The thread object deletes itself when the thread ends; the log touches it
// only until it has asked it to terminate.
#pragma once

#include "log/critical_section_lock.h"
#include "log/log_ring_file.h"
#include "platform/wide_text.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace nomvera::log {

inline constexpr std::int32_t kQueueSlots = 1000;

// Flags the thread must be able to reach after the log has gone.
struct TLogThreadFlags {
    std::atomic<std::uint8_t> finished{0};
};

class TLogWriterThread {
public:
    // Creates the ring file (writing the start line with the mode mark "M"
    // on the calling thread), sets `active` and `refusal` (why the file was
    // refused, empty when it was not) from it, opens the wake-up event
    // by name and starts the thread. Null when the thread could not be
    // started; the ring file is then closed and `active` is false.
    static TLogWriterThread* Start(const WideString& path, std::int64_t maxSizeKiB,
                                   const std::string& eventName, bool& active, WideString& refusal,
                                   std::shared_ptr<TLogThreadFlags> flags);

    // The log's side, all called inside the log's lock.
    WCHAR*& Slot(std::int32_t index) { return slots_[index]; }
    // Publishes the log's write index and gives the thread's read index.
    std::int32_t Publish(std::int32_t writeIndex);
    std::int32_t ReadIndex();
    // Waits at most `milliseconds` for the thread to free slots.
    void WaitForProgress(DWORD milliseconds);
    // After this call the log must not touch the object again.
    void Terminate();

private:
    TLogWriterThread(const WideString& path, std::int64_t maxSizeKiB, const std::string& eventName);
    ~TLogWriterThread();
    static DWORD ThreadMain(LPVOID self);
    void Execute();
    // Entered with the queue lock held; releases it.
    void Drain();
    void PublishReadIndex(std::int32_t readIndex);
    void WriteErrorPass(DWORD waitError, DWORD resetError);
    void Finish();

    TLogRingFile ring_;
    WCHAR* slots_[kQueueSlots + 1] = {}; // slot 0 is not used
    std::int32_t writeIndex_ = 1;
    std::int32_t readIndex_ = 1;
    TCriticalSectionLock queueLock_;
    HANDLE event_ = nullptr;
    HANDLE startEvent_ = nullptr; // for the batch statistics line
    std::string eventName_;
    DWORD openError_ = 0;
    std::uint32_t largestBatch_ = 0;
    WideString largestBatchTime_;
    std::shared_ptr<TLogThreadFlags> flags_;
    std::atomic<bool> terminated_{false};
    HANDLE thread_ = nullptr;
    HANDLE progress_ = nullptr; // set whenever the read index moves on
};

// Releases a slot's text: overwritten with zeros first.
void WipeSlotText(WCHAR*& text);

} // namespace nomvera::log

// The queued mode's background writer: a queue of 1,000 slots (999 usable,
// equal indices mean empty) between the log and one thread that writes the
// lines to its own ring file in batches.
//
// Ownership: slots from the read index up to the write index belong to the
// thread, all others to the log; the queue lock guards only the two indices.
// The object is shared by the log and the running thread: it goes when the
// later of the two lets go, so a thread the log stopped waiting for still
// finds everything it touches.
#pragma once

#include "log/critical_section_lock.h"
#include "log/log_os.h"
#include "log/log_ring_file.h"
#include "platform/wide_text.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
    static std::shared_ptr<TLogWriterThread> Start(const WideString& path, std::int64_t maxSizeKiB,
                                                   const std::string& eventName, bool& active,
                                                   WideString& refusal,
                                                   std::shared_ptr<TLogThreadFlags> flags);
    ~TLogWriterThread();
    TLogWriterThread(const TLogWriterThread&) = delete;
    TLogWriterThread& operator=(const TLogWriterThread&) = delete;

    // The log's side, all called inside the log's lock.
    WCHAR*& Slot(std::int32_t index) { return slots_[index]; }
    // Publishes the log's write index and gives the thread's read index.
    std::int32_t Publish(std::int32_t writeIndex);
    std::int32_t ReadIndex();
    // Waits at most `duration` for the thread to free slots.
    void WaitForProgress(std::chrono::milliseconds duration);
    // Asks the thread to write what is queued and end.
    void Terminate();
    // The thread has ended: waits for its last steps. Or, when it did not
    // end in time, lets it run on without the log.
    void Join();
    void Detach();

private:
    TLogWriterThread(const WideString& path, std::int64_t maxSizeKiB, const std::string& eventName);
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
    std::unique_ptr<os::TWakeEvent> event_;
    std::uint64_t startEvent_ = 0; // its number, for the batch statistics line
    std::string eventName_;
    DWORD openError_ = 0;
    std::uint32_t largestBatch_ = 0;
    WideString largestBatchTime_;
    std::shared_ptr<TLogThreadFlags> flags_;
    std::atomic<bool> terminated_{false};
    std::thread thread_;
    // Told whenever the read index moves on.
    std::mutex progressMutex_;
    std::condition_variable progress_;
    bool progressMade_ = false;
};

// Releases a slot's text: overwritten with zeros first.
void WipeSlotText(WCHAR*& text);

} // namespace nomvera::log

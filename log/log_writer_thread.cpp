#include "log/log_writer_thread.h"

#include "log/log_text.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/memory_wipe.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/threads.h"
#include "platform/wide_text.h"
#include "support/text.h"

#include <cstdlib>
#include <cstring>

namespace nomvera::log {
namespace {

constexpr DWORD kPassMilliseconds = 100;
constexpr std::uint32_t kErrorPassLimit = 10;
constexpr std::uint32_t kProgressStep = 64;

WideString ErrorText(DWORD code) {
    return support::WidenText(support::SystemMessageText(code));
}

WideString ErrorLinePrefix() {
    return WIDE("E|") + ShortLocalTime() + WIDE("|");
}

} // namespace

void WipeSlotText(WCHAR*& text) {
    if (text != nullptr) {
        platform::WipeMemory(text, (std::char_traits<WCHAR>::length(text) + 1) * sizeof(WCHAR));
        std::free(text);
        text = nullptr;
    }
}

TLogWriterThread::TLogWriterThread(const WideString& path, std::int64_t maxSizeKiB,
                                   const std::string& eventName)
    : ring_(ApplyUtf8Rule(path), RingSizeLimit(maxSizeKiB)), eventName_(eventName),
      progress_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    ring_.WriteStartLine(WIDE("M"));
}

TLogWriterThread::~TLogWriterThread() {
    for (auto& slot : slots_) {
        WipeSlotText(slot);
    }
    if (progress_ != nullptr) {
        CloseHandle(progress_);
    }
}

TLogWriterThread* TLogWriterThread::Start(const WideString& path, std::int64_t maxSizeKiB,
                                          const std::string& eventName, bool& active,
                                          WideString& refusal,
                                          std::shared_ptr<TLogThreadFlags> flags) {
    auto* writer = new TLogWriterThread(path, maxSizeKiB, eventName);
    active = writer->ring_.IsOpen();
    refusal = writer->ring_.Refusal();
    SetLastError(ERROR_SUCCESS);
    writer->event_ = OpenEventA(EVENT_ALL_ACCESS, FALSE, eventName.c_str());
    writer->openError_ = writer->event_ == nullptr ? GetLastError() : ERROR_SUCCESS;
    writer->flags_ = std::move(flags);
    writer->flags_->finished.store(0);
    // Started suspended so that the thread finds its own handle in place.
    writer->thread_ =
        CreateThread(nullptr, 0, &TLogWriterThread::ThreadMain, writer, CREATE_SUSPENDED, nullptr);
    if (writer->thread_ == nullptr) {
        active = false;
        writer->startEvent_ = writer->event_;
        writer->Finish();
        return nullptr;
    }
    ResumeThread(writer->thread_);
    return writer;
}

std::int32_t TLogWriterThread::Publish(std::int32_t writeIndex) {
    TLockHold hold(queueLock_);
    writeIndex_ = writeIndex;
    return readIndex_;
}

std::int32_t TLogWriterThread::ReadIndex() {
    TLockHold hold(queueLock_);
    return readIndex_;
}

void TLogWriterThread::WaitForProgress(DWORD milliseconds) {
    if (progress_ == nullptr || WaitForSingleObject(progress_, milliseconds) == WAIT_FAILED) {
        Sleep(milliseconds);
    }
}

void TLogWriterThread::Terminate() {
    terminated_.store(true);
}

DWORD TLogWriterThread::ThreadMain(LPVOID self) {
    static_cast<TLogWriterThread*>(self)->Execute();
    return 0;
}

void TLogWriterThread::Execute() {
    SetThreadPriority(thread_, THREAD_PRIORITY_BELOW_NORMAL);
    startEvent_ = event_;
    int remainingPasses = 2;
    std::uint32_t errorPasses = 0;
    while (!terminated_.load() || remainingPasses > 0) {
        DWORD waitResult = WAIT_OBJECT_0;
        DWORD waitError = ERROR_SUCCESS;
        DWORD resetError = ERROR_SUCCESS;
        const bool terminating = terminated_.load();
        if (terminating) {
            queueLock_.Acquire();
            Drain();
        } else {
            if (event_ != nullptr) {
                SetLastError(ERROR_SUCCESS);
                waitResult = WaitForSingleObject(event_, kPassMilliseconds);
                waitError = waitResult == WAIT_FAILED ? GetLastError() : ERROR_SUCCESS;
            } else {
                Sleep(kPassMilliseconds);
                // Without an event the reason is why it could not be opened.
                waitError = openError_;
            }
            if (waitResult == WAIT_OBJECT_0) {
                if (event_ != nullptr && !ResetEvent(event_)) {
                    resetError = GetLastError();
                }
                // Lines left behind now wait for the next signal.
                if (queueLock_.TryAcquire()) {
                    Drain();
                }
            }
        }
        // A request that came during this pass's wait already counts: no
        // error lines may follow the lines Close queued last.
        if (terminated_.load()) {
            if (remainingPasses > 0) {
                --remainingPasses;
            }
        } else if (waitResult == WAIT_FAILED || resetError != ERROR_SUCCESS || event_ == nullptr) {
            if (errorPasses >= kErrorPassLimit) {
                if (event_ != nullptr) {
                    CloseHandle(event_);
                    event_ = nullptr;
                }
            } else {
                WriteErrorPass(waitError, resetError);
                ++errorPasses;
                Sleep(kPassMilliseconds);
            }
        }
    }
    Finish();
}

void TLogWriterThread::WriteErrorPass(DWORD waitError, DWORD resetError) {
    ring_.WriteLine(ErrorLinePrefix() + WIDE("dwRW : ") + HandleNumber(event_) + WIDE(" ") +
                    ErrorText(waitError));
    ring_.WriteLine(ErrorLinePrefix() + WIDE("dwRST: ") + ErrorText(resetError));
    if (event_ == nullptr) {
        SetLastError(ERROR_SUCCESS);
        event_ = OpenEventA(EVENT_ALL_ACCESS, FALSE, eventName_.c_str());
        openError_ = event_ == nullptr ? GetLastError() : ERROR_SUCCESS;
        ring_.WriteLine(ErrorLinePrefix() + WIDE("dwRW2: ") + HandleNumber(event_) + WIDE(" ") +
                        ErrorText(openError_));
    }
    ring_.WriteHeader();
}

void TLogWriterThread::Drain() {
    const std::int32_t w = writeIndex_;
    std::int32_t r = readIndex_;
    queueLock_.Release();
    std::uint32_t taken = 0;
    while (r != w) {
        WCHAR*& text = slots_[r];
        if (text != nullptr && text[0] != 0) {
            ring_.WriteLine(text);
        }
        WipeSlotText(text);
        ++taken;
        r = r == kQueueSlots ? 1 : r + 1;
        // A caller waiting for room need not wait for the whole batch.
        if (taken % kProgressStep == 0 && r != w) {
            PublishReadIndex(r);
        }
    }
    if (taken == 0) {
        return;
    }
    ring_.WriteHeader();
    PublishReadIndex(r);
    if (taken > largestBatch_) {
        largestBatch_ = taken;
        largestBatchTime_ = LocalTimeStamp();
    }
}

void TLogWriterThread::PublishReadIndex(std::int32_t readIndex) {
    {
        TLockHold hold(queueLock_);
        readIndex_ = readIndex;
    }
    if (progress_ != nullptr) {
        SetEvent(progress_);
    }
}

void TLogWriterThread::Finish() {
    for (auto& slot : slots_) {
        WipeSlotText(slot);
    }
    ring_.WriteLine(LocalTimeStamp() + WIDE("|I|CNTin1GO: ") +
                    support::WidenText(support::DecimalText(largestBatch_)) + WIDE(" ") +
                    HandleNumber(startEvent_) + WIDE(" ") +
                    (largestBatchTime_.empty() ? WIDE("00000000000000000") : largestBatchTime_));
    if (event_ != nullptr) {
        CloseHandle(event_);
        event_ = nullptr;
    }
    ring_.Close();
    if (thread_ != nullptr) {
        CloseHandle(thread_); // the thread runs on; only the handle goes
    }
    // The log may be gone by now; the flags are shared with it, the rest is ours.
    std::shared_ptr<TLogThreadFlags> flags = flags_;
    flags->finished.store(1);
    delete this;
}

} // namespace nomvera::log

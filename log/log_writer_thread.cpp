#include "log/log_writer_thread.h"

#include "log/log_text.h"
#include "platform/errors.h"
#include "platform/memory_wipe.h"
#include "platform/wide_text.h"
#include "support/text.h"

#include <cstdlib>
#include <cstring>
#include <system_error>

namespace nomvera::log {
namespace {

constexpr std::chrono::milliseconds kPass{100};
constexpr std::uint32_t kErrorPassLimit = 10;
constexpr std::uint32_t kProgressStep = 64;

WideString ErrorText(DWORD code) {
    return support::WidenText(support::SystemMessageText(code));
}

WideString EventNumber(const std::unique_ptr<os::TWakeEvent>& event) {
    return HandleNumber(event == nullptr ? 0 : event->Number());
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
    : ring_(ApplyUtf8Rule(path), RingSizeLimit(maxSizeKiB)), eventName_(eventName) {
    ring_.WriteStartLine(WIDE("M"));
}

TLogWriterThread::~TLogWriterThread() {
    for (auto& slot : slots_) {
        WipeSlotText(slot);
    }
}

std::shared_ptr<TLogWriterThread> TLogWriterThread::Start(const WideString& path,
                                                          std::int64_t maxSizeKiB,
                                                          const std::string& eventName,
                                                          bool& active, WideString& refusal,
                                                          std::shared_ptr<TLogThreadFlags> flags) {
    std::shared_ptr<TLogWriterThread> writer(new TLogWriterThread(path, maxSizeKiB, eventName));
    active = writer->ring_.IsOpen();
    refusal = writer->ring_.Refusal();
    writer->event_ = os::TWakeEvent::Open(eventName, writer->openError_);
    writer->flags_ = std::move(flags);
    writer->flags_->finished.store(0);
    try {
        // The thread holds the object too: it may outlive the log's wait.
        writer->thread_ = std::thread([self = writer] { self->Execute(); });
    } catch (const std::system_error&) {
        active = false;
        writer->startEvent_ = writer->event_ == nullptr ? 0 : writer->event_->Number();
        writer->Finish();
        return nullptr;
    }
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

void TLogWriterThread::WaitForProgress(std::chrono::milliseconds duration) {
    // Like an auto-reset event: progress made since the last wait counts.
    std::unique_lock hold(progressMutex_);
    progress_.wait_for(hold, duration, [&] { return progressMade_; });
    progressMade_ = false;
}

void TLogWriterThread::Terminate() {
    terminated_.store(true);
}

void TLogWriterThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TLogWriterThread::Detach() {
    if (thread_.joinable()) {
        thread_.detach();
    }
}

void TLogWriterThread::Execute() {
    os::LowerThisThreadPriority();
    startEvent_ = event_ == nullptr ? 0 : event_->Number();
    int remainingPasses = 2;
    std::uint32_t errorPasses = 0;
    while (!terminated_.load() || remainingPasses > 0) {
        auto waitResult = os::TWakeEvent::TWait::Signalled;
        DWORD waitError = ERROR_SUCCESS;
        DWORD resetError = ERROR_SUCCESS;
        const bool terminating = terminated_.load();
        if (terminating) {
            queueLock_.Acquire();
            Drain();
        } else {
            if (event_ != nullptr) {
                waitResult = event_->Wait(static_cast<std::uint32_t>(kPass.count()), waitError);
            } else {
                std::this_thread::sleep_for(kPass);
                // Without an event the reason is why it could not be opened.
                waitError = openError_;
            }
            if (waitResult == os::TWakeEvent::TWait::Signalled) {
                if (event_ != nullptr) {
                    resetError = event_->Reset();
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
        } else if (waitResult == os::TWakeEvent::TWait::Failed || resetError != ERROR_SUCCESS ||
                   event_ == nullptr) {
            if (errorPasses >= kErrorPassLimit) {
                event_.reset();
            } else {
                WriteErrorPass(waitError, resetError);
                ++errorPasses;
                std::this_thread::sleep_for(kPass);
            }
        }
    }
    Finish();
}

void TLogWriterThread::WriteErrorPass(DWORD waitError, DWORD resetError) {
    ring_.WriteLine(ErrorLinePrefix() + WIDE("dwRW : ") + EventNumber(event_) + WIDE(" ") +
                    ErrorText(waitError));
    ring_.WriteLine(ErrorLinePrefix() + WIDE("dwRST: ") + ErrorText(resetError));
    if (event_ == nullptr) {
        event_ = os::TWakeEvent::Open(eventName_, openError_);
        ring_.WriteLine(ErrorLinePrefix() + WIDE("dwRW2: ") + EventNumber(event_) + WIDE(" ") +
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
    {
        std::lock_guard hold(progressMutex_);
        progressMade_ = true;
    }
    progress_.notify_all();
}

void TLogWriterThread::Finish() {
    for (auto& slot : slots_) {
        WipeSlotText(slot);
    }
    ring_.WriteLine(LocalTimeStamp() + WIDE("|I|CNTin1GO: ") +
                    support::WidenText(support::DecimalText(largestBatch_)) + WIDE(" ") +
                    HandleNumber(startEvent_) + WIDE(" ") +
                    (largestBatchTime_.empty() ? WIDE("00000000000000000") : largestBatchTime_));
    event_.reset();
    ring_.Close();
    flags_->finished.store(1);
}

} // namespace nomvera::log

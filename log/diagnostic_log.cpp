#include "log/diagnostic_log.h"

#include "log/critical_section_lock.h"
#include "log/log_os.h"
#include "log/log_ring_file.h"
#include "log/log_text.h"
#include "log/log_writer_thread.h"
#include "log/md5.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/platform_info.h"
#include "support/text.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace nomvera::log {
namespace {

enum Level { kInfo = 0, kWarning = 1, kError = 2 };

constexpr WideStringView kTags[] = {WIDE("|I|"), WIDE("|W|"), WIDE("|E|")};
constexpr WideStringView kContinuations[] = {WIDE("                       |I|"),
                                             WIDE("                       |W|"),
                                             WIDE("                       |E|")};

constexpr std::uint8_t kDirectMode = 1;
constexpr std::uint8_t kQueuedMode = 2;
constexpr std::int32_t kEventAttemptLimit = 10;
constexpr std::chrono::milliseconds kBackPressureStep{50};
constexpr std::chrono::milliseconds kBackPressureLimit{3000};
// Close waits this long for the writer thread, in steps of kFinishStep.
constexpr std::chrono::milliseconds kFinishStep{100};
constexpr int kFinishSteps = 50;

struct BlockMarks {
    bool opens = false;  // starts with "BEGIN" or holds "|BEGIN", in any letter case
    bool closes = false; // starts with "END" or holds "|END"
};

// Upper-casing maps each unit on its own and leaves "|" alone, so only the
// front of the text and the units behind each "|" need to be upper-cased.
BlockMarks MarksOf(WideStringView text) {
    BlockMarks marks;
    auto look = [&marks](WideStringView at) {
        const WideString upper = support::UpperText(WideString(at.substr(0, 5)));
        marks.opens = marks.opens || upper == WIDE("BEGIN");
        marks.closes = marks.closes || upper.compare(0, 3, WIDE("END")) == 0;
    };
    look(text);
    for (std::size_t bar = text.find(WIDE('|')); bar != WideStringView::npos;
         bar = text.find(WIDE('|'), bar + 1)) {
        look(text.substr(bar + 1));
    }
    return marks;
}

WideString Decimal(std::int64_t value) {
    return support::WidenText(support::DecimalText(value));
}

// Free slots as the log sees them: equal indices mean an empty queue.
std::int32_t FreeSlots(std::int32_t writeIndex, std::int32_t readIndex) {
    return writeIndex < readIndex ? readIndex - writeIndex : readIndex - writeIndex + kQueueSlots;
}

std::unique_ptr<os::TWakeEvent> CreateWakeUpEvent(const std::string& name) {
    DWORD error = ERROR_SUCCESS;
    return os::TWakeEvent::Create(name, error);
}

struct PendingRepeat {
    WideString text;
    std::int32_t count = 0;
    WideString stamp; // of the latest suppressed repeat
};

} // namespace

struct TDiagnosticLog::State {
    std::uint8_t mode = kQueuedMode;
    std::uint64_t sizeLimit = kDefaultSizeLimit;
    WideString path;
    bool active = false;
    bool closed = false;
    WideString inactiveReason;
    TCriticalSectionLock lock;
    WideString indent;
    PendingRepeat pending[3];

    // Direct mode.
    std::unique_ptr<TLogRingFile> file;

    // Queued mode.
    std::shared_ptr<TLogWriterThread> writer;
    std::int32_t writeIndex = 1;
    std::unique_ptr<os::TWakeEvent> event;
    std::string eventName;
    std::int32_t eventAttempts = 0;
    std::uint64_t waitTotal = 0;                  // milliseconds
    std::chrono::steady_clock::duration waited{}; // exactly
    std::shared_ptr<TLogThreadFlags> flags = std::make_shared<TLogThreadFlags>();
    // Lines that found the queue still full after the longest wait; they are
    // reported in the file as soon as there is room again.
    std::uint64_t droppedLines = 0;

    bool Queued() const { return mode != kDirectMode; }

    void WriteFileLine(WideStringView line);
    void Enqueue(WideStringView line);
    void ReportDroppedLines();
    void PutIntoSlot(WideStringView line);
    bool WaitForRoom(std::int32_t needed);
    void WriteSummary(Level level);
    WideString Write(Level level, const WideString& message);
};

void TDiagnosticLog::State::WriteFileLine(WideStringView line) {
    if (!active) {
        return;
    }
    if (Queued()) {
        Enqueue(line);
    } else {
        file->WriteLine(line);
    }
}

void TDiagnosticLog::State::Enqueue(WideStringView line) {
    if (line.empty() || writer == nullptr) {
        return;
    }
    ReportDroppedLines();
    // A slot is only taken while another one stays free: filling the last
    // one would make the indices equal, and the queue would read as empty.
    if (FreeSlots(writeIndex, writer->ReadIndex()) < 2 && !WaitForRoom(2)) {
        ++droppedLines;
        return;
    }
    PutIntoSlot(line);
}

void TDiagnosticLog::State::ReportDroppedLines() {
    if (droppedLines > 0 && FreeSlots(writeIndex, writer->ReadIndex()) > 2) {
        const std::uint64_t dropped = droppedLines;
        droppedLines = 0;
        PutIntoSlot(LocalTimeStamp() + WIDE("|W|Queue full, lines not written: ") +
                    Decimal(static_cast<std::int64_t>(dropped)));
    }
}

void TDiagnosticLog::State::PutIntoSlot(WideStringView line) {
    if (writeIndex > kQueueSlots) {
        writeIndex = 1;
    }
    auto* text = static_cast<WCHAR*>(std::calloc(line.size() + 1, sizeof(WCHAR)));
    if (text == nullptr) {
        ++droppedLines;
        return;
    }
    std::memcpy(text, line.data(), line.size() * sizeof(WCHAR));
    writer->Slot(writeIndex) = text;
    writeIndex = writeIndex >= kQueueSlots ? 1 : writeIndex + 1;
    const std::int32_t readIndex = writer->Publish(writeIndex);
    if (event == nullptr && eventAttempts < kEventAttemptLimit) {
        ++eventAttempts;
        event = CreateWakeUpEvent(eventName);
    }
    if (event != nullptr) {
        event->Set();
    }
    if (FreeSlots(writeIndex, readIndex) <= 2) {
        WaitForRoom(3);
    }
}

// Back-pressure: waits in steps of at most 50 ms, 3 s in all, until `needed`
// slots are free; a step ends early when the writer frees slots. True when
// they are free. The wait total counts the time really waited.
bool TDiagnosticLog::State::WaitForRoom(std::int32_t needed) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    for (;;) {
        const Clock::time_point before = Clock::now();
        writer->WaitForProgress(kBackPressureStep);
        const Clock::time_point after = Clock::now();
        waited += after - before;
        waitTotal = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(waited).count());
        const std::int32_t readIndex = writer->ReadIndex();
        if (event != nullptr) {
            event->Set();
        }
        if (writeIndex == readIndex || FreeSlots(writeIndex, readIndex) >= needed) {
            return true;
        }
        if (after - started >= kBackPressureLimit) {
            return false;
        }
    }
}

void TDiagnosticLog::State::WriteSummary(Level level) {
    PendingRepeat& repeat = pending[level];
    if (!repeat.text.empty() && repeat.count > 1) {
        WideString line = repeat.stamp;
        line += kTags[level];
        line += indent;
        line.append(repeat.text, 0, CutLength(repeat.text, kSummaryTextLength));
        line += WIDE(" [");
        line += Decimal(repeat.count);
        line += WIDE("x]");
        WriteFileLine(line);
    }
    repeat.text.clear();
    repeat.count = 0;
}

WideString TDiagnosticLog::State::Write(Level level, const WideString& message) {
    if (message.empty()) {
        return {};
    }
    TLockHold hold(lock);
    PendingRepeat& repeat = pending[level];
    if (message != repeat.text) {
        WriteSummary(level);
    }
    for (Level other : {kInfo, kWarning, kError}) {
        if (other != level) {
            WriteSummary(other);
        }
    }
    const WideString stamp = LocalTimeStamp();
    WideString prefix = stamp;
    prefix += kTags[level];
    WideString line = prefix;
    line += indent;
    line.append(message, 0, CutLength(message, kPieceLength));

    const BlockMarks messageMarks = MarksOf(message);
    const bool blockMarker = messageMarks.opens || messageMarks.closes;
    if (message == repeat.text && !blockMarker) {
        ++repeat.count;
        repeat.stamp = stamp;
        return line;
    }

    WideStringView rest = message;
    WideString fileLine;
    while (!rest.empty()) {
        const std::size_t crlf = rest.find(WIDE("\r\n"));
        std::size_t pieceLength;
        std::size_t consumed;
        if (crlf != WideStringView::npos && crlf < kPieceLength) {
            pieceLength = crlf;
            consumed = crlf + 2;
        } else {
            pieceLength = CutLength(rest, kPieceLength);
            consumed = pieceLength;
        }
        const WideStringView piece = rest.substr(0, pieceLength);
        if (!piece.empty()) {
            const BlockMarks marks = MarksOf(piece);
            if (active && marks.closes && !indent.empty()) {
                indent.pop_back();
            }
            fileLine = prefix;
            fileLine += indent;
            fileLine += piece;
            WriteFileLine(fileLine);
            if (active && marks.opens && indent.size() < kMaxIndent) {
                indent += WIDE('.');
            }
        }
        rest.remove_prefix(consumed);
        prefix = kContinuations[level];
    }
    repeat.text = message;
    repeat.count = 1;
    if (active && !Queued()) {
        file->WriteHeader();
    }
    return line;
}

TDiagnosticLog::TDiagnosticLog() : state_(std::make_unique<State>()) {}

TDiagnosticLog::~TDiagnosticLog() {
    try {
        Close();
    } catch (...) {
        // The log never raises a failure to its callers, nor from here.
    }
}

std::unique_ptr<TDiagnosticLog> TDiagnosticLog::Create(const WideString& path,
                                                       std::int64_t maxSizeKiB, std::uint8_t mode) {
    std::unique_ptr<TDiagnosticLog> log(new TDiagnosticLog);
    State& s = *log->state_;
    s.path = ApplyUtf8Rule(path);
    if (mode == 0) {
        mode = support::Platform().WindowsMajorVersion == 5 ? kDirectMode : kQueuedMode;
    }
    s.mode = mode;
    if (!s.Queued()) {
        s.sizeLimit = DirectSizeLimit(maxSizeKiB);
        s.file = std::make_unique<TLogRingFile>(s.path, s.sizeLimit);
        s.active = s.file->IsOpen();
        s.inactiveReason = s.file->Refusal();
        s.file->WriteStartLine(WIDE("1"));
        return log;
    }
    s.sizeLimit = RingSizeLimit(maxSizeKiB);
    s.eventName = "G" + Md5Hex(support::NarrowText(s.path));
    s.event = CreateWakeUpEvent(s.eventName);
    s.writer = TLogWriterThread::Start(s.path, maxSizeKiB, s.eventName, s.active, s.inactiveReason,
                                       s.flags);
    s.writeIndex = 1;
    return log;
}

bool TDiagnosticLog::IsActive() const {
    return state_->active;
}

const WideString& TDiagnosticLog::InactiveReason() const {
    return state_->inactiveReason;
}

const WideString& TDiagnosticLog::Path() const {
    return state_->path;
}

WideString TDiagnosticLog::WriteInfo(const WideString& message) {
    return state_->Write(kInfo, message);
}

WideString TDiagnosticLog::WriteWarning(const WideString& message) {
    return state_->Write(kWarning, message);
}

WideString TDiagnosticLog::WriteError(const WideString& message) {
    return state_->Write(kError, message);
}

std::string TDiagnosticLog::WriteInfoAnsi(const std::string& message) {
    return support::NarrowText(WriteInfo(support::WidenText(message)));
}

std::string TDiagnosticLog::WriteErrorAnsi(const std::string& message) {
    return support::NarrowText(WriteError(support::WidenText(message)));
}

void TDiagnosticLog::Close() {
    State& s = *state_;
    if (s.closed) {
        return;
    }
    s.closed = true;
    for (Level level : {kInfo, kWarning, kError}) {
        s.WriteSummary(level);
    }
    if (!s.Queued()) {
        if (s.active) {
            s.file->Close();
        }
    } else {
        if (s.active) {
            if (s.droppedLines > 0 && s.writer != nullptr &&
                FreeSlots(s.writeIndex, s.writer->ReadIndex()) <= 2) {
                s.WaitForRoom(3); // one more chance to report the dropped lines
            }
            s.Enqueue(LocalTimeStamp() + WIDE("|I|Wait(mSec): ") +
                      Decimal(static_cast<std::int64_t>(s.waitTotal)));
        }
        if (s.writer != nullptr) {
            if (s.event != nullptr) {
                s.event->Set();
            }
            s.writer->Terminate();
            std::this_thread::sleep_for(kBackPressureStep);
            if (s.event != nullptr) {
                s.event->Set();
            }
            for (int i = 0; i < kFinishSteps && s.flags->finished.load() != 1; ++i) {
                std::this_thread::sleep_for(kFinishStep);
            }
            // A thread that has not finished by now runs on alone; the
            // object stays until it lets go of it too.
            if (s.flags->finished.load() == 1) {
                s.writer->Join();
            } else {
                s.writer->Detach();
            }
            s.writer.reset();
        }
        s.event.reset();
    }
    s.active = false;
}

} // namespace nomvera::log

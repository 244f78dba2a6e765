// The log file as a whole, written by a real direct-mode log over whatever
// file was there before. Input: the size limit (20 to 23 KiB), the old file
// (its length, 0xFFFF for none, then its bytes) and the messages (UTF-16
// units, low byte first; 0xFFFF ends a message; each message's first unit
// picks its level). After Close, whatever the old file held:
// - the header is in the writer's own form and records a position inside
//   the file and the limit;
// - from this run's start line (or from offset 16 when the run wrapped) up
//   to that position the file holds whole lines, each opening with a time
//   stamp or a continuation prefix, and the last one is the stop line;
// - the start line stands where the old header said (or behind the header
//   when it did not fit) and names that offset;
// - the file did not grow beyond the larger of its old size and the limit,
//   and nothing but written lines fills the room behind its old end (no
//   zero bytes: messages here hold none).
#include "log/diagnostic_log.h"
#include "log/log_text.h"
#include "platform/wide_text.h"
#include "tests/fuzz/fuzz_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using nomvera::fuzz::Escaped;

struct Scratch {
    std::string folder;
    std::string file;
    Scratch() {
        char pattern[] = "/tmp/nomvera-fuzz-log-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        folder = pattern;
        file = folder + "/fuzz.utf8.log";
    }
    ~Scratch() {
        unlink(file.c_str());
        rmdir(folder.c_str());
    }
};

const Scratch& Files() {
    static const Scratch scratch;
    return scratch;
}

bool IsTimeStamp(std::string_view text) {
    static constexpr char kPattern[] = "dddd-dd-dd dd:dd:dd.ddd";
    if (text.size() < 23) {
        return false;
    }
    for (std::size_t i = 0; i < 23; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) {
            return false;
        }
    }
    return true;
}

bool OpensALine(std::string_view line) {
    return IsTimeStamp(line) || line.substr(0, 24) == std::string(23, ' ') + "|";
}

bool WriteAll(const std::string& path, std::string_view bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return close(fd) == 0 && ok;
}

// The position a header in the writer's own form records.
std::optional<std::uint64_t> RecordedPosition(std::string_view bytes) {
    if (bytes.size() < 16 || bytes.substr(0, 3) != "\xEF\xBB\xBF" ||
        bytes.substr(14, 2) != "\r\n") {
        return std::nullopt;
    }
    std::size_t i = 3;
    while (i < 14 && bytes[i] == ' ') {
        ++i;
    }
    if (i == 14) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (; i < 14; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(bytes[i] - '0');
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nomvera::log::TDiagnosticLog;
    if (size < 3) {
        return 0;
    }
    const std::int64_t kib = 20 + data[0] % 4;
    const std::uint64_t limit = static_cast<std::uint64_t>(kib) * 1024;
    std::size_t at = 3;
    const std::size_t oldLength = data[1] | (data[2] << 8);
    const bool existed = oldLength != 0xFFFF;
    std::string old;
    if (existed) {
        old.assign(reinterpret_cast<const char*>(data) + at, std::min(oldLength, size - at));
        at += old.size();
    }
    struct Message {
        unsigned level;
        WideString text;
    };
    std::vector<Message> messages;
    bool startOfMessage = true;
    for (; at + 1 < size && messages.size() <= 200; at += 2) {
        const WCHAR unit = static_cast<WCHAR>(data[at] | (data[at + 1] << 8));
        if (unit == 0xFFFF) {
            startOfMessage = true;
        } else if (startOfMessage) {
            messages.push_back({unit % 3u, {}});
            startOfMessage = false;
        } else {
            messages.back().text += unit == 0 ? WIDE('?') : unit;
        }
    }

    const std::string& path = Files().file;
    unlink(path.c_str());
    if (existed && !WriteAll(path, old)) {
        std::abort();
    }
    WideString widePath(path.begin(), path.end()); // the scratch path is ASCII
    auto log = TDiagnosticLog::Create(widePath, kib, 1);
    FUZZ_CHECK(log->IsActive(), "the log did not open " + path);
    static const char* const kTags[] = {"|I|", "|W|", "|E|"};
    for (const Message& message : messages) {
        const WideString line = message.level == 0   ? log->WriteInfo(message.text)
                                : message.level == 1 ? log->WriteWarning(message.text)
                                                     : log->WriteError(message.text);
        if (message.text.empty()) {
            FUZZ_CHECK(line.empty(), "an empty message gave a line");
            continue;
        }
        const std::string front(line.begin(),
                                line.begin() + std::min<std::size_t>(line.size(), 26));
        FUZZ_CHECK(IsTimeStamp(front) && front.substr(23) == kTags[message.level],
                   "returned line opens with " + Escaped(front));
    }
    log->Close();

    const std::string file = nomvera::fuzz::ReadWholeFile(path);
    const std::string shownOld = existed ? "old file " + Escaped(old.substr(0, 64)) + " (" +
                                               std::to_string(old.size()) + " bytes)"
                                         : "no old file";
    const auto position = RecordedPosition(file);
    FUZZ_CHECK(position, shownOld + ": header " + Escaped(file.substr(0, 16)));
    FUZZ_CHECK(*position >= 16 && *position <= file.size() && *position <= limit,
               shownOld + ": header records " + std::to_string(*position) + " in a file of " +
                   std::to_string(file.size()) + " bytes, limit " + std::to_string(limit));
    const std::uint64_t largest = existed ? std::max<std::uint64_t>(old.size(), limit) : limit;
    FUZZ_CHECK(file.size() <= largest, shownOld + ": the file grew to " +
                                           std::to_string(file.size()) + " bytes, limit " +
                                           std::to_string(limit));
    const std::size_t firstNew = existed ? old.size() : 0;
    const std::size_t zero = file.find('\0', firstNew);
    FUZZ_CHECK(zero == std::string::npos,
               shownOld + ", limit " + std::to_string(limit) + ": zero byte at offset " +
                   std::to_string(zero) + ", behind the old end " + std::to_string(firstNew) +
                   ", in a file of " + std::to_string(file.size()) + " bytes");

    // This run's start line: it names the offset it stands at.
    const std::string startMark = " Log Started[" + path + "]";
    std::size_t runStart = 16;
    for (std::size_t found = file.find(startMark); found != std::string::npos;
         found = file.find(startMark, found + 1)) {
        const std::size_t lineStart = found >= 23 ? found - 23 : 0;
        const std::size_t lineEnd = file.find("\r\n", found);
        if (lineEnd == std::string::npos || lineStart >= *position) {
            continue;
        }
        const std::string_view line(file.data() + lineStart, lineEnd - lineStart);
        // Later lines of the run may have overwritten the front of the start
        // line; what is left of it opens with no time stamp. (Whatever
        // overwrote it cannot leave one: a line is longer than a stamp and
        // ends in CR LF, which no stamp holds.)
        const bool wholeLine = lineStart >= 16 && IsTimeStamp(line);
        // A line the old file held at the same place was not written by this
        // run (a fuzzer may well learn the path and plant one).
        const bool fromOldFile = existed && lineEnd + 2 <= old.size() &&
                                 old.compare(lineStart, lineEnd + 2 - lineStart, file, lineStart,
                                             lineEnd + 2 - lineStart) == 0;
        if (!wholeLine || fromOldFile) {
            continue;
        }
        const std::string named = std::string(line.substr(line.rfind(' ') + 1));
        if (named == std::to_string(lineStart)) {
            runStart = lineStart;
            // Where the old header pointed, or behind the header when the line
            // did not fit in front of the limit or the header was unusable.
            std::uint64_t expected = 16;
            if (existed) {
                const std::int64_t stored = nomvera::log::HeaderPosition(old.substr(0, 16));
                if (static_cast<std::uint64_t>(stored) <= limit &&
                    static_cast<std::uint64_t>(stored) <= old.size()) {
                    expected = static_cast<std::uint64_t>(stored);
                }
            }
            // The line as it would read at that offset, CR LF included.
            const std::size_t length =
                line.size() - named.size() + std::to_string(expected).size() + 2;
            if (expected + length >= limit) {
                expected = 16;
            }
            FUZZ_CHECK(lineStart == expected,
                       shownOld + ": start line at " + std::to_string(lineStart) +
                           ", the old header pointed at " + std::to_string(expected));
            break;
        }
    }
    std::string_view rest(file.data() + runStart, *position - runStart);
    std::string_view last;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        FUZZ_CHECK(end != std::string_view::npos,
                   shownOld + ": the text before the recorded position ends in a broken line " +
                       Escaped(std::string(rest.substr(0, 80))));
        last = rest.substr(0, end);
        FUZZ_CHECK(OpensALine(last), shownOld + ": not a whole line at offset " +
                                         std::to_string(rest.data() - file.data()) + ": " +
                                         Escaped(std::string(last.substr(0, 80))));
        rest.remove_prefix(end + 2);
    }
    FUZZ_CHECK(last.size() > 23 && last.substr(23) == " Log stopped",
               shownOld + ": the last line is " + Escaped(std::string(last)));
    return 0;
}

// Windows command-line splitting. Whatever the line, its words written back
// as a command line (quoted the way Windows programs quote their arguments)
// split into the same words again, and a line of blanks alone has no words.
#include "platform/posix/services/shell_targets.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using nomvera::fuzz::Escaped;

bool HasBlank(const std::string& word) {
    return word.find_first_of(" \t") != std::string::npos;
}

// The program name has no backslash rules: it is quoted when it is empty or
// holds a blank (it cannot then hold a quote: only a quoted name has blanks,
// and a quoted name ends at its first quote).
std::string QuoteProgram(const std::string& word) {
    return word.empty() || HasBlank(word) ? "\"" + word + "\"" : word;
}

// Quoting of every later word: backslashes double in front of a quote (the
// one written as \" and the closing one) and nowhere else.
std::string QuoteArgument(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
        return word;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

std::string Join(const std::vector<std::string>& words) {
    std::string line;
    for (std::size_t i = 0; i < words.size(); ++i) {
        line += i == 0 ? QuoteProgram(words[i]) : " " + QuoteArgument(words[i]);
    }
    return line;
}

std::string Shown(const std::vector<std::string>& words) {
    std::string text = "[";
    for (const auto& word : words) {
        text += (text.size() > 1 ? ", " : "") + Escaped(word);
    }
    return text + "]";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nomvera::posix::SplitCommandLine;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> words = SplitCommandLine(line);
    FUZZ_CHECK(words.empty() == (line.find_first_not_of(" \t") == std::string::npos),
               Escaped(line) + " split into " + Shown(words));

    const std::string joined = Join(words);
    const std::vector<std::string> again = SplitCommandLine(joined);
    FUZZ_CHECK(again == words, Escaped(line) + " split into " + Shown(words) + ", written as " +
                                   Escaped(joined) + " it splits into " + Shown(again));
    FUZZ_CHECK(Join(again) == joined, "writing " + Shown(words) + " back is not stable");
    return 0;
}

// The rules that split the command lines the shortcuts start into words:
// the POSIX stand-in's, and on Windows the system's own, which they follow.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>
#else
#include "platform/posix/services/shell_targets.h"
#endif

namespace nomvera::test {
namespace {

using Words = std::vector<std::string>;

#if defined(_WIN32)
Words SplitCommandLine(const std::string& line) {
    const std::wstring wide(line.begin(), line.end()); // the cases are ASCII
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(wide.c_str(), &count);
    Words result;
    for (int i = 0; words != nullptr && i < count; ++i) {
        const std::wstring word = words[i];
        result.emplace_back(word.begin(), word.end());
    }
    LocalFree(words);
    return result;
}
#else
using posix::SplitCommandLine;
#endif

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    struct Case {
        const char* line;
        Words words;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"   ", {}},
        {"prog", {"prog"}},
        {"  prog  a\tb  ", {"prog", "a", "b"}},
        {"\"C:\\Program Files\\x.exe\" a", {"C:\\Program Files\\x.exe", "a"}},
        {"p \"a b\" c", {"p", "a b", "c"}},
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},   // 3 backslashes + quote: one backslash, a quote
        {"p a\\\\\"b c\"", {"p", "a\\b c"}}, // 2 backslashes + quote: one backslash, grouping
        {"p a\\b\\", {"p", "a\\b\\"}},       // backslashes not before a quote stay
        {"p \"\"", {"p", ""}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p -Microsoft.Personalization\\pageColorization",
         {"p", "-Microsoft.Personalization\\pageColorization"}},
        {"C:\\dir\\prog.exe x", {"C:\\dir\\prog.exe", "x"}}, // no escapes in the program
    };
    for (const auto& c : cases) {
#if defined(_WIN32)
        // CommandLineToArgvW gives the running program for an empty line and
        // an empty program name before leading blanks, which CreateProcess
        // (and so the stand-in) skips.
        if (*c.line == '\0' || *c.line == ' ') {
            continue;
        }
#endif
        EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
    }
}

} // namespace
} // namespace nomvera::test

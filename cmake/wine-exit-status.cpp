// Starts a program and ends with its exit code, for cmake/wine-run.sh: Wine
// hands only the low 8 bits of a Windows exit code to Linux, so a code such
// as 0x100 would arrive there as 0. Codes 0 to 255 are passed on as they
// are; any other (an exception code such as 0xC0000005) is printed in hex
// and gives 255.
//
//   wine-exit-status.exe PROGRAM [ARG...]
//
// The program's command line is this program's own without its first word,
// passed on unchanged, so the arguments keep Wine's quoting.
#include <windows.h>

#include <cstdio>

namespace {

// The command line after the first word (quoted or not) and its blanks.
wchar_t* AfterProgramName(wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') {
            ++line;
        }
        if (*line == L'"') {
            ++line;
        }
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') {
            ++line;
        }
    }
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    return line;
}

} // namespace

int main() {
    wchar_t* commandLine = AfterProgramName(GetCommandLineW());
    if (*commandLine == L'\0') {
        std::fprintf(stderr, "wine-exit-status: no program given\n");
        return 125;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // The program inherits the standard handles, so its output goes where
    // this program's goes.
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "wine-exit-status: cannot start %ls: error %lu\n", commandLine,
                     GetLastError());
        return 127;
    }
    CloseHandle(process.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code)) {
        std::fprintf(stderr, "wine-exit-status: lost the program: error %lu\n", GetLastError());
        return 125;
    }
    CloseHandle(process.hProcess);
    if (code > 255) {
        std::fprintf(stderr, "wine-exit-status: the program ended with code 0x%08lX\n", code);
        return 255;
    }
    return static_cast<int>(code);
}

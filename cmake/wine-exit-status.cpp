// Starts a program and ends with its exit code, for cmake/wine-run.sh: Wine
// hands only the low 8 bits of a Windows exit code to Linux, so a code such
// as 0x100 would arrive there as 0. Codes 0 to 255 are passed on as they
// are; any other (an exception code such as 0xC0000005) is printed in hex
// and gives 255.
//
//   wine-exit-status.exe PROGRAM [ARG...]
//
// The program's command line is this program's own without its first word,
// passed on unchanged, so the arguments keep Wine's quoting. Processes the
// program starts and leaves running are ended with it.
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
    // The program and every process it starts run in a job that ends with
    // this program, so none of them outlives the test and keeps ctest
    // waiting on its output.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job == nullptr ||
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        std::fprintf(stderr, "wine-exit-status: cannot make a job: error %lu\n", GetLastError());
        return 125;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // The program inherits the standard handles, so its output goes where
    // this program's goes. It starts suspended until it is in the job.
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process)) {
        std::fprintf(stderr, "wine-exit-status: cannot start %ls: error %lu\n", commandLine,
                     GetLastError());
        return 127;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        std::fprintf(stderr, "wine-exit-status: cannot put the program in a job: error %lu\n",
                     GetLastError());
        TerminateProcess(process.hProcess, 125);
        return 125;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code)) {
        std::fprintf(stderr, "wine-exit-status: lost the program: error %lu\n", GetLastError());
        return 125;
    }
    CloseHandle(process.hProcess);
    // Processes the program left running end now (the job's last handle).
    CloseHandle(job);
    if (code > 255) {
        std::fprintf(stderr, "wine-exit-status: the program ended with code 0x%08lX\n", code);
        return 255;
    }
    return static_cast<int>(code);
}

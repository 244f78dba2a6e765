// The console on Windows: standard output and error as the process's
// standard handles, Ctrl+C, Ctrl+Break and closing the console as stop
// requests, and the credentials file made as a new private file.
#ifdef _WIN32
#include "cli/console.h"
#include "cli/console_host.h"
#include "platform/private_files.h"
#include "support/text.h"

#include <algorithm>
#include <csignal>
#include <windows.h>

namespace nomvera::cli {
namespace {

volatile LONG g_received = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    const LONG signalNumber = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    InterlockedCompareExchange(&g_received, signalNumber, 0);
    // Handled: the batch stops after the current account. Closing the
    // console ends the process once this returns, as Windows does.
    return TRUE;
}

HANDLE StandardHandle(TStream stream) {
    return GetStdHandle(stream == TStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool WriteWhole(HANDLE handle, const std::string& text, std::string* error) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        if (!WriteFile(handle, text.data() + done, chunk, &written, nullptr) || written == 0) {
            if (error != nullptr) {
                *error = support::SystemMessageText(GetLastError());
            }
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

const char* StopSignalName(int signalNumber) {
    return signalNumber == SIGINT ? "SIGINT" : signalNumber == SIGTERM ? "SIGTERM" : "a signal";
}

bool WriteStream(TStream stream, const std::string& text, std::string* error) {
    const HANDLE handle = StandardHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        // No such stream (a program started without one): nothing to lose.
        return true;
    }
    return WriteWhole(handle, text, error);
}

bool IsTerminal(TStream stream) {
    DWORD mode = 0;
    return GetConsoleMode(StandardHandle(stream), &mode) != 0;
}

std::size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(StandardHandle(TStream::Error), &info) &&
        info.srWindow.Right > info.srWindow.Left) {
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    }
    return 80;
}

void PrepareStandardStreams() {
    // The lines are UTF-8, as on Linux; a console shows them as such.
    SetConsoleOutputCP(CP_UTF8);
}

void IgnoreClosedPipes() {
    // A write to a closed pipe fails with an error here; it never ends the program.
}

TStopSignals::TStopSignals() {
    g_received = 0;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TStopSignals::~TStopSignals() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

int TStopSignals::Received() {
    return static_cast<int>(InterlockedCompareExchange(&g_received, 0, 0));
}

bool TCredentialsFile::IsOpen() const {
    return file_ != nullptr;
}

TCredentialsFile::~TCredentialsFile() {
    if (file_ != nullptr) {
        CloseHandle(file_);
    }
}

bool TCredentialsFile::Create(const std::string& path, std::string& error) {
    const WideString name = support::WidenText(path);
    platform::TPrivateFileRefusal refusal = platform::TPrivateFileRefusal::None;
    const HANDLE file = platform::CreatePrivateFile(name.c_str(), 0, CREATE_NEW, &refusal, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
                        refusal == platform::TPrivateFileRefusal::Link
                    ? "it exists already (an existing file or link is never replaced)"
                    : support::SystemMessageText(code);
        return false;
    }
    file_ = file;
    if (!WriteAll("name,password\n", error)) {
        CloseHandle(file_);
        file_ = nullptr;
        // Made by this run a moment ago and still empty: take it back.
        DeleteFileW(name.c_str());
        return false;
    }
    return true;
}

bool TCredentialsFile::WriteAll(const std::string& text, std::string& error) {
    return file_ != nullptr && WriteWhole(file_, text, &error);
}

} // namespace nomvera::cli
#endif

// nomvera-cli.exe: the command line on Windows, a console program beside the
// window program nomvera.exe: the same commands, options, output and exit
// statuses as `nomvera COMMAND ...` on Linux.
#include <windows.h>

#include "cli/command_line.h"

#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Every library loaded by name (the account service, the profile calls)
    // comes from the system folder only, never from the program's own folder
    // or the current folder, where another account may have put one.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return nomvera::cli::kExitUsage;
    }
    // The arguments as UTF-8, as the command line takes them on Linux.
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8(argv[i]));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    return nomvera::cli::RunCommandLine(argc, pointers.data());
}

#include "tests/shortcuts/shortcut_test_support.h"

#include "platform/posix/services/shell_targets.h"
#include "support/text.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace nomvera::test {

std::string Describe(const std::vector<TLoggedLine>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += std::string(1, line.level) + " " + support::NarrowText(line.text) + "\n";
    }
    return text;
}

TLoggedLine Info(const std::string& text) {
    return {'I', support::WidenText(text)};
}

TLoggedLine Error(const std::string& text) {
    return {'E', support::WidenText(text)};
}

TProgramFolders::TProgramFolders(const std::string& folders) : path_("PATH", folders) {
    posix::test_double::SetTrustedProgramFolders(folders);
}

TProgramFolders::~TProgramFolders() {
    posix::test_double::SetTrustedProgramFolders(std::nullopt);
}

TSettingsProgramDouble::TSettingsProgramDouble()
    : folder_("nomvera-settings-double"), recordPath_(folder_ / "record") {}

void TSettingsProgramDouble::Install(const std::string& name, bool holding) {
    const std::string path = folder_ / name;
    std::string script = "#!/bin/sh\n"
                         "# Test double of a desktop settings program: records its start.\n"
                         "echo \"${0##*/} $*\" >> '" +
                         recordPath_ + "'\n";
    if (holding) {
        script += "n=0\n"
                  "while [ ! -e '" +
                  folder_ / "release" +
                  "' ] && [ $n -lt 400 ]; do\n"
                  "  /bin/sleep 0.05; n=$((n+1))\n"
                  "done\n"
                  ": > '" +
                  folder_ / "done" + "'\n";
    }
    WriteTextFile(path, script);
    chmod(path.c_str(), 0755);
}

void TSettingsProgramDouble::InstallBroken(const std::string& name) {
    const std::string path = folder_ / name;
    WriteTextFile(path, "#!/nonexistent/interpreter\n");
    chmod(path.c_str(), 0755);
}

std::string TSettingsProgramDouble::Record() const {
    return ReadTextFile(recordPath_);
}

std::vector<std::string> TSettingsProgramDouble::WaitForRecord(std::size_t count) const {
    std::vector<std::string> lines;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        lines.clear();
        std::istringstream in(Record());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        if (lines.size() >= count || std::chrono::steady_clock::now() > deadline) {
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TSettingsProgramDouble::Release() const {
    WriteTextFile(folder_ / "release", "");
}

bool TSettingsProgramDouble::Done() const {
    return access((folder_ / "done").c_str(), F_OK) == 0;
}

bool TSettingsProgramDouble::WaitForDone() const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace nomvera::test

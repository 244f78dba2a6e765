#include "tests/common/test_environment.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>

namespace nomvera::test {

TProgramFolders::TProgramFolders(const TempFolder& base)
    : home(base / "home"), state(base / "state"), runtime(base / "runtime"), temp(base / "tmp") {
    chmod(base.Path().c_str(), 0755);
    for (const std::string& folder : {home, state, runtime, temp}) {
        if (mkdir(folder.c_str(), folder == runtime ? 0700 : 0755) != 0) {
            throw std::runtime_error("cannot make " + folder);
        }
    }
}

std::vector<std::string> TProgramFolders::Variables() const {
    return {"HOME=" + home,           "XDG_STATE_HOME=" + state, "XDG_RUNTIME_DIR=" + runtime,
            "XDG_CACHE_HOME=" + temp, "XDG_CONFIG_HOME=" + temp, "TMPDIR=" + temp};
}

TWindowTestEnvironment::TWindowTestEnvironment() : base_("nomvera-window") {
    const std::string home = base_ / "home";
    state_ = base_ / "state";
    temp_ = base_ / "tmp";
    const std::string runtime = base_ / "runtime";
    mkdir(home.c_str(), 0700);
    mkdir(state_.c_str(), 0700);
    mkdir(temp_.c_str(), 0700);
    mkdir(runtime.c_str(), 0700);
    const std::pair<const char*, std::string> variables[] = {
        {"HOME", home},           {"XDG_STATE_HOME", state_}, {"XDG_RUNTIME_DIR", runtime},
        {"XDG_CACHE_HOME", home}, {"XDG_CONFIG_HOME", home},  {"TMPDIR", temp_}};
    for (const auto& [name, value] : variables) {
        const char* previous = std::getenv(name);
        saved_.emplace_back(name, previous != nullptr ? std::optional<std::string>(previous)
                                                      : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    root_ = std::make_unique<SandboxRoot>();
}

TWindowTestEnvironment::~TWindowTestEnvironment() {
    root_.reset();
    for (const auto& [name, value] : saved_) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

} // namespace nomvera::test

namespace nomvera::test {

std::vector<std::string> LogFileLines(const std::string& path) {
    const std::string content = ReadTextFile(path);
    std::vector<std::string> lines;
    if (content.size() < 16 || content.compare(0, 3, "\xEF\xBB\xBF") != 0) {
        return lines;
    }
    const std::size_t end = std::min<std::size_t>(
        std::strtoull(content.substr(3, 11).c_str(), nullptr, 10), content.size());
    std::size_t start = 16;
    while (start < end) {
        std::size_t stop = content.find("\r\n", start);
        if (stop == std::string::npos || stop > end) {
            stop = end;
        }
        lines.push_back(content.substr(start, stop - start));
        start = stop + 2;
    }
    return lines;
}

bool HasLineEndingWith(const std::vector<std::string>& lines, const std::string& end) {
    for (const std::string& line : lines) {
        if (line.ends_with(end)) {
            return true;
        }
    }
    return false;
}

} // namespace nomvera::test

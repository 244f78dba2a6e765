#include "tests/common/programs_for_nobody.h"

#include "tests/common/child_process.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

namespace fs = std::filesystem;

// A hard link where the file system allows it and the file is readable and
// executable to every account (no bytes copied), else a copy of mode 0755
// (a build made under umask 077).
bool LinkOrCopy(const fs::path& from, const fs::path& to) {
    struct stat info {};
    if (stat(from.c_str(), &info) != 0) {
        return false;
    }
    std::error_code error;
    if ((info.st_mode & 0005) == 0005) {
        fs::create_hard_link(from, to, error);
        if (!error) {
            return true;
        }
    }
    error.clear();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    return !error && chmod(to.c_str(), 0755) == 0;
}

} // namespace

ProgramsForNobody::ProgramsForNobody(const std::vector<std::string>& programs)
    : folder_("nomvera-nobody") {
    if (geteuid() != 0) {
        problem_ = "only root can start a program as the account nobody";
        return;
    }
    const fs::path bin = fs::path(ProgramBesideTest("")).parent_path();
    std::vector<std::string> names = programs;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(bin, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.ends_with(".so") &&
            std::find(programs.begin(), programs.end(), name) == programs.end()) {
            names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        if (!LinkOrCopy(bin / name, folder_ / name)) {
            problem_ = "cannot copy " + (bin / name).string() + " to " + Folder();
            return;
        }
    }
    // Made 0700 by mkdtemp; nobody needs to enter and list it, never to write.
    if (chmod(Folder().c_str(), 0755) != 0) {
        problem_ = "cannot open " + Folder() + " to other accounts";
        return;
    }
    for (const std::string& program : programs) {
        const std::string path = Path(program);
        if (RunAsNobody([&] { return access(path.c_str(), X_OK) == 0 ? 0 : 1; }) != 0) {
            problem_ = "the account nobody cannot start " + path +
                       ": the temporary folder lies under a folder it cannot enter; set TMPDIR "
                       "to one it can enter (such as /tmp) to run this test";
            return;
        }
    }
}

} // namespace nomvera::test

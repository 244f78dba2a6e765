#include "app/program.h"

#include <csignal>

int main(int argc, char** argv) {
    // A write past an inherited file-size limit fails with EFBIG and takes
    // the path of a full disk, instead of ending the process mid-line.
    std::signal(SIGXFSZ, SIG_IGN);
    return nomvera::app::RunProgram(argc, argv);
}

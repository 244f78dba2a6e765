#include "app/program.h"

int main(int argc, char** argv) {
    return nomvera::app::RunProgram(argc, argv);
}

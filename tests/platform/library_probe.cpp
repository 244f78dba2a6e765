// Loads each library named on the command line through the platform loader
// and prints "name=loaded" or "name=<code>", one line each; copied beside
// libraries by the loader tests, since the loader looks in its own folder.
#include "platform/errors.h"
#include "platform/libloader.h"

#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        SetLastError(0);
        HMODULE module = LoadLibraryA(argv[i]);
        if (module != nullptr) {
            std::printf("%s=loaded\n", argv[i]);
        } else {
            std::printf("%s=%lu\n", argv[i], static_cast<unsigned long>(GetLastError()));
        }
    }
    return 0;
}

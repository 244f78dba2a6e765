// Test double of a library another account plants beside a copy of the tool:
// when any process loads it, its constructor appends the file it was loaded
// from to $NOMVERA_PLANTED_RECORD, so a test can see that it ran.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace {

__attribute__((constructor)) void RecordLoad() {
    const char* record = std::getenv("NOMVERA_PLANTED_RECORD");
    Dl_info self{};
    if (record == nullptr || dladdr(reinterpret_cast<void*>(&RecordLoad), &self) == 0) {
        return;
    }
    if (std::FILE* out = std::fopen(record, "a")) {
        std::fprintf(out, "%s\n", self.dli_fname);
        std::fclose(out);
    }
}

} // namespace

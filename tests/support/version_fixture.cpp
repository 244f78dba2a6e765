// A shared library that carries a version record, built twice: with a valid
// record (65535.0.7.40000) and with a record whose signature is wrong.
#include "platform/version_info.h"

namespace {

#ifdef VERSION_FIXTURE_BAD_SIGNATURE
constexpr DWORD kSignature = 0x12345678;
#else
constexpr DWORD kSignature = VS_FFI_SIGNATURE;
#endif

[[gnu::used, gnu::section(".nomvera.fileversion")]] const VS_FIXEDFILEINFO kRecord = {
    kSignature, VS_FFI_STRUCVERSION, 0xFFFF0000, 0x00079C40, 0, 0, 0x3F, 0, 0x40004, 2, 0, 0, 0};

} // namespace

#include "platform/common/folder_change_seam.h"

#include <atomic>

namespace nomvera::platform {
namespace {

std::atomic<TFolderChangeSeam*> changeSeam{nullptr};

} // namespace

void SetFolderChangeSeam(TFolderChangeSeam* seam) {
    changeSeam.store(seam);
}

DWORD AskFolderChangeSeam(const char* operation, LPCWSTR name) {
    TFolderChangeSeam* seam = changeSeam.load();
    if (seam == nullptr) {
        return 0;
    }
    return seam->Intercept(operation, name != nullptr ? WideString(name) : WideString());
}

} // namespace nomvera::platform

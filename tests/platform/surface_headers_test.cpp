// Every header of the platform surface in one unit: the records the Windows
// headers share (FILETIME, SECURITY_ATTRIBUTES, the handle types) must be
// defined once, whatever a caller includes together.
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/folder_walk.h"
#include "platform/handles.h"
#include "platform/libloader.h"
#include "platform/lmaccess.h"
#include "platform/memory_wipe.h"
#include "platform/messages.h"
#include "platform/private_files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "platform/sync.h"
#include "platform/sysinfo.h"
#include "platform/test_doubles.h"
#include "platform/userenv.h"
#include "platform/version_info.h"

#include <gtest/gtest.h>

#include <cstddef>

TEST(PlatformSurface, SharedRecordsHaveTheirPublishedLayout) {
    EXPECT_EQ(sizeof(FILETIME), 8u);
    EXPECT_EQ(sizeof(SYSTEMTIME), 16u);
    EXPECT_EQ(sizeof(VS_FIXEDFILEINFO), 52u);
    EXPECT_EQ(offsetof(WIN32_FIND_DATAW, ftLastWriteTime), 20u);
    EXPECT_EQ(offsetof(USER_INFO_1, usri1_priv), 2 * sizeof(void*) + 4u);
}

// Its own program: InitComOnce keeps process-wide state.
#include "platform/errors.h"
#include "platform/shell.h"
#include "shortcuts/com_once.h"

#include <gtest/gtest.h>

namespace nomvera::test {
namespace {

// COM already initialised on the thread ("S_FALSE") with a stale last error
// left by an unrelated call: still usable, not a failure with that code.
TEST(InitComOnce, FirstCallGivesTheInitialisationThenEightyFive) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    SetLastError(ERROR_FILE_NOT_FOUND);
    DWORD first = shortcuts::InitComOnce();
    EXPECT_EQ(first, 1u);
    EXPECT_TRUE(shortcuts::ComUsable(first));
    EXPECT_EQ(shortcuts::InitComOnce(), shortcuts::kComAlreadyTried);
    EXPECT_EQ(shortcuts::InitComOnce(), shortcuts::kComAlreadyTried);

    // Release balances the one initialisation it made, not the test's own.
    shortcuts::ReleaseComOnce();
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(InitComOnce, UsableCodes) {
    for (DWORD code : {0u, 1u, 85u}) {
        EXPECT_TRUE(shortcuts::ComUsable(code)) << code;
    }
    for (DWORD code : {2u, 124u, 0x80010106u}) {
        EXPECT_FALSE(shortcuts::ComUsable(code)) << code;
    }
}

} // namespace
} // namespace nomvera::test

// Events, waiting, critical sections, threads and clocks of the platform layer.
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>

namespace {

TEST(Events, AManualResetEventStaysSetUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(WaitForSingleObject(event, 60), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount64() - started, 59u);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
}

TEST(Events, AnAutoResetEventWakesOneWaitAndClears) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Events, ANamedEventIsFoundByNameWhileAHandleIsOpen) {
    SECURITY_DESCRIPTOR descriptor{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    SECURITY_ATTRIBUTES open{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    HANDLE created = CreateEventA(&open, TRUE, FALSE, "Gnomvera-test-event");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    HANDLE again = CreateEventA(&open, TRUE, FALSE, "Gnomvera-test-event");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Gnomvera-test-event");
    ASSERT_NE(opened, nullptr);
    SetEvent(opened);
    EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0); // one event behind all three
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);

    CloseHandle(created);
    CloseHandle(again);
    CloseHandle(opened);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "Gnomvera-test-event"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Events, ASetFromAnotherThreadEndsAWait) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID e) -> DWORD {
            Sleep(30);
            SetEvent(static_cast<HANDLE>(e));
            return 0;
        },
        event, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST(CriticalSections, AreRecursiveAndRefuseOtherThreadsWhileHeld) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section)); // the owner may take it again
    std::atomic<BOOL> otherGotIt{TRUE};
    struct Probe {
        CRITICAL_SECTION* section;
        std::atomic<BOOL>* result;
    } probe{&section, &otherGotIt};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* seen = static_cast<Probe*>(p);
            seen->result->store(TryEnterCriticalSection(seen->section));
            return 0;
        },
        &probe, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(otherGotIt.load());
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

DWORD ReportOwnId(LPVOID out) {
    *static_cast<DWORD*>(out) = GetCurrentThreadId();
    Sleep(50);
    return 42;
}

TEST(Threads, RunTheRoutineAndGiveItsResultAndId) {
    DWORD seenId = 0;
    DWORD givenId = 0;
    HANDLE thread = CreateThread(nullptr, 0, &ReportOwnId, &seenId, 0, &givenId);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(seenId, givenId);
    EXPECT_NE(givenId, GetCurrentThreadId());
    CloseHandle(thread);
}

TEST(Threads, ASuspendedThreadWaitsForResumeAndCanBeLowered) {
    std::atomic<bool> ran{false};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID flag) -> DWORD {
            static_cast<std::atomic<bool>*>(flag)->store(true);
            return 0;
        },
        &ran, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_BELOW_NORMAL);
    Sleep(30);
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(ran.load());
    CloseHandle(thread);
}

TEST(Clocks, FileTimesAndSystemTimesConvertBothWays) {
    const SYSTEMTIME epoch{1970, 1, 4, 1, 0, 0, 0, 0};
    FILETIME fileTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &fileTime));
    const ULONGLONG ticks =
        (static_cast<ULONGLONG>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    EXPECT_EQ(ticks, 116444736000000000ULL);

    const SYSTEMTIME leapDay{2024, 2, 4, 29, 23, 59, 58, 999};
    ASSERT_TRUE(SystemTimeToFileTime(&leapDay, &fileTime));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4); // a Thursday
    EXPECT_EQ(back.wMilliseconds, 999);

    const SYSTEMTIME notADay{2023, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(&notADay, &fileTime));
}

TEST(Clocks, UtcAndLocalTimeFollowTheSystemClock) {
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    EXPECT_EQ(utc.wYear, parts.tm_year + 1900);
    EXPECT_EQ(utc.wMonth, parts.tm_mon + 1);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    localtime_r(&now, &parts);
    EXPECT_EQ(local.wDay, parts.tm_mday);
    EXPECT_LT(local.wMilliseconds, 1000);
}

} // namespace

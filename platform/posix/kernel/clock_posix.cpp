#include "platform/clock.h"

#include "platform/errors.h"

#include <cstdint>
#include <ctime>

namespace {

constexpr std::int64_t kFileTimeUnixEpoch = 116444736000000000LL; // 1970-01-01 in 100 ns
constexpr std::int64_t kTicksPerSecond = 10000000LL;

void FillParts(const std::tm& parts, long nanoseconds, SYSTEMTIME& out) {
    out.wYear = static_cast<WORD>(parts.tm_year + 1900);
    out.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    out.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    out.wDay = static_cast<WORD>(parts.tm_mday);
    out.wHour = static_cast<WORD>(parts.tm_hour);
    out.wMinute = static_cast<WORD>(parts.tm_min);
    out.wSecond = static_cast<WORD>(parts.tm_sec);
    out.wMilliseconds = static_cast<WORD>(nanoseconds / 1000000L);
}

// Days since 1970-01-01 of a civil date, and the reverse (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool LeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

void GetLocalTime(LPSYSTEMTIME localTime) {
    if (localTime == nullptr) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Breaking the time into local parts is the costly step; a log writes
    // many lines within one second, so each thread keeps its last second.
    thread_local time_t cachedSecond = -1;
    thread_local std::tm cachedParts{};
    if (now.tv_sec != cachedSecond) {
        std::tm parts{};
        if (localtime_r(&now.tv_sec, &parts) == nullptr) {
            *localTime = SYSTEMTIME{};
            return;
        }
        cachedParts = parts;
        cachedSecond = now.tv_sec;
    }
    FillParts(cachedParts, now.tv_nsec, *localTime);
}

void GetSystemTime(LPSYSTEMTIME systemTime) {
    if (systemTime == nullptr) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    if (gmtime_r(&now.tv_sec, &parts) == nullptr) {
        *systemTime = SYSTEMTIME{};
        return;
    }
    FillParts(parts, now.tv_nsec, *systemTime);
}

void GetSystemTimeAsFileTime(LPFILETIME fileTime) {
    if (fileTime == nullptr) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::uint64_t ticks = static_cast<std::uint64_t>(
        kFileTimeUnixEpoch + static_cast<std::int64_t>(now.tv_sec) * kTicksPerSecond +
        now.tv_nsec / 100);
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    if (ticks >= 0x8000000000000000ULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::int64_t unixTicks = static_cast<std::int64_t>(ticks) - kFileTimeUnixEpoch;
    std::int64_t seconds = unixTicks / kTicksPerSecond;
    std::int64_t rest = unixTicks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    std::int64_t days = seconds / 86400;
    std::int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    if (year > 30827) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7); // 1970-01-01: Thursday
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(rest / 10000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    if (systemTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& t = *systemTime;
    static constexpr unsigned kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool valid =
        t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
        t.wDay <= kDaysIn[t.wMonth - 1] + (t.wMonth == 2 && LeapYear(t.wYear) ? 1u : 0u) &&
        t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    const std::int64_t seconds = days * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    const std::uint64_t ticks = static_cast<std::uint64_t>(
        kFileTimeUnixEpoch + seconds * kTicksPerSecond + t.wMilliseconds * 10000LL);
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

BOOL QueryPerformanceCounter(PLARGE_INTEGER count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return TRUE;
}

BOOL QueryPerformanceFrequency(PLARGE_INTEGER frequency) {
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = 1000000000LL;
    return TRUE;
}

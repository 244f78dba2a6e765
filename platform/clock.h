// Wall clocks: local time and UTC broken into parts, and the 100-ns file time.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;     // 1..12
    WORD wDayOfWeek; // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

// A monotonic counter for measuring short intervals, and its ticks per second.
BOOL QueryPerformanceCounter(PLARGE_INTEGER count);
BOOL QueryPerformanceFrequency(PLARGE_INTEGER frequency);

// When the system cannot break the clock into local parts, every field is 0
// (so the month, 0, marks the value as invalid).
void GetLocalTime(LPSYSTEMTIME localTime);
void GetSystemTime(LPSYSTEMTIME systemTime);
void GetSystemTimeAsFileTime(LPFILETIME fileTime);
// FALSE with ERROR_INVALID_PARAMETER for values outside the years 1601..30827
// or, for SystemTimeToFileTime, fields out of range.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);

#endif

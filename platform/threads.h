// Threads. A thread handle is signalled (WaitForSingleObject) once the thread
// has ended; closing the handle does not stop the thread.
//
// Priorities on Linux are best effort: a priority becomes the nice value of
// the thread (below normal: 5 steps nicer than the process, lowest: 10, idle:
// 19; above normal: 5 steps less nice, highest: 10, time critical: -20).
// Lowering always works; raising needs the right to do so and otherwise fails
// with ERROR_ACCESS_DENIED, leaving the thread as it was.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

inline constexpr DWORD CREATE_SUSPENDED = 0x4;
inline constexpr DWORD STILL_ACTIVE = 259;

inline constexpr int THREAD_PRIORITY_IDLE = -15;
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;
inline constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;

// creationFlags: 0 or CREATE_SUSPENDED (the thread then waits for
// ResumeThread). threadId receives the id GetCurrentThreadId gives inside it.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId);
// The previous suspend count (1 for a suspended thread, else 0); -1 on failure.
DWORD ResumeThread(HANDLE thread);
BOOL SetThreadPriority(HANDLE thread, int priority);
// THREAD_PRIORITY_ERROR_RETURN on failure.
int GetThreadPriority(HANDLE thread);
// STILL_ACTIVE while the thread runs, then the start routine's result.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

#endif

// Synchronisation: events, waiting with a time-out, critical sections.
//
// Events on POSIX live inside the process. A named event is found by its name
// from every thread of this process (CreateEventA with a name already in use
// gives a new handle to the same event and ERROR_ALREADY_EXISTS; OpenEventA
// finds it), but not from other processes: nothing outside the process waits
// on or signals these events. Because of that the security description given
// to CreateEventA has nothing to protect here: it is accepted and checked for
// form only, and every handle has full access to its event.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

inline constexpr DWORD SYNCHRONIZE = 0x00100000u;
inline constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
inline constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003u;

inline constexpr DWORD ERROR_INVALID_ACL = 1336;
inline constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;

// A security descriptor in the SDK's absolute layout. This layer understands
// a revision and an access list that is either absent (open to everybody) or
// not (SE_DACL_PRESENT in Control); owner, group and audit list stay null.
using SECURITY_DESCRIPTOR_CONTROL = WORD;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    PVOID Owner;
    PVOID Group;
    PVOID Sacl;
    PVOID Dacl;
};
using PSECURITY_DESCRIPTOR = PVOID;
inline constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
inline constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
// dacl null with daclPresent true: a null access list, open to every account.
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PVOID dacl,
                               BOOL daclDefaulted);

// Names are compared exactly; null or empty gives an unnamed event.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
// ERROR_FILE_NOT_FOUND when no event of that name exists.
HANDLE OpenEventA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Works on events and thread handles (signalled once the thread has ended).
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// Recursive, like the Windows original. Must be initialised before use and
// deleted once nobody holds or waits for it.
struct CRITICAL_SECTION {
    void* Implementation;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

#endif

// UTF-16 path and text helpers and two queries of the running system. On
// POSIX the path separator is "/" and the functions keep their Windows names.
#pragma once

#include <string>

#include "platform/wide_text.h"

namespace nomvera::support {

WideString AddBackslashW(const WideString& path);
WideString StripBackslash(const WideString& path);
bool FolderExistsW(const WideString& path);
WideString FolderOfPath(const WideString& path);
WideString ExtensionOf(const WideString& fileName);
bool MakeFolder(const WideString& path);
bool MakeFolderTree(const WideString& path);
WideString UpperText(const WideString& text);
WideString CleanEntryText(const WideString& text);
WideString GetModulePath();
WideString GetSamUserName();
// The four-number file version of a program file, or one of the "." texts.
WideString GetFileVersionText(const WideString& path);

} // namespace nomvera::support

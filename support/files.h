// UTF-16 path and text helpers and two queries of the running system. On
// POSIX the path separator is "/" and the functions keep their Windows names.
#pragma once

#include <string>

namespace nomvera::support {

std::u16string AddBackslashW(const std::u16string& path);
std::u16string StripBackslash(const std::u16string& path);
bool FolderExistsW(const std::u16string& path);
std::u16string FolderOfPath(const std::u16string& path);
std::u16string ExtensionOf(const std::u16string& fileName);
bool MakeFolder(const std::u16string& path);
bool MakeFolderTree(const std::u16string& path);
std::u16string UpperText(const std::u16string& text);
std::u16string CleanEntryText(const std::u16string& text);
std::u16string GetModulePath();
std::u16string GetSamUserName();
// The four-number file version of a program file, or one of the "." texts.
std::u16string GetFileVersionText(const std::u16string& path);

} // namespace nomvera::support

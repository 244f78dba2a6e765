// Folder trees, log-file reading and unprivileged children for the removal
// and batch tests.
#pragma once

#include "tests/common/child_process.h"
#include "tests/common/test_environment.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace nomvera::test {

void MakeFolder(const std::string& path, mode_t mode = 0755);
void MakeFile(const std::string& path, const std::string& content = "x", mode_t mode = 0644);
bool Exists(const std::string& path);   // without following a final link
bool IsFolder(const std::string& path); // a real folder, not a link to one
mode_t ModeOf(const std::string& path);
std::size_t EntryCount(const std::string& folder); // without "." and ".."

// A chain of depth nested folders, each named name, made inside the folder
// top through descriptors, so it may lie deeper than PATH_MAX.
void MakeChain(const std::string& top, const std::string& name, int depth);
// Cuts what is left of such a chain below top into pieces of at most ten
// levels, moved into top, so that path-based removal (nftw) can reach them.
void CutChain(const std::string& top);

// The lines among them that end with text (the file adds time, level and indent).
std::vector<std::string> LinesEndingWith(const std::vector<std::string>& lines,
                                         const std::string& text);
// The position of the first line at or after from that ends with text; -1 if none.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

} // namespace nomvera::test

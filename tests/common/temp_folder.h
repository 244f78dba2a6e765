// A fresh folder under the temporary folder, removed with everything in it
// when the object goes away. Removal never follows a symbolic link and never
// leaves the folder the test made. Paths are 8-bit text; on Windows they use
// "\\" and test paths are ASCII.
#pragma once

#include <string>
#include <vector>

namespace nomvera::test {

class TempFolder {
public:
    explicit TempFolder(const std::string& tag = "nomvera");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + relative; on Windows every "/" in relative is "\\" too.
    std::string operator/(const std::string& relative) const;

private:
    std::string path_;
};

// The path delimiter of the system: "/" on POSIX, "\\" on Windows.
#if defined(_WIN32)
inline constexpr char kTestPathDelimiter = '\\';
#else
inline constexpr char kTestPathDelimiter = '/';
#endif
#if defined(_WIN32)
// Test text (paths, arguments) between the ANSI code page and the system's
// wide form.
std::wstring ToWide(const std::string& text);
std::string ToNarrow(const std::wstring& text);
#endif
// A path written with "/" in the system's own form ("/" becomes "\\" on
// Windows; unchanged on POSIX).
std::string SystemPath(std::string path);

// Writes a file (creating it or replacing its content).
void WriteTextFile(const std::string& path, const std::string& content);
// Writes a file that is the user's alone, as the tool makes its private
// files: mode 0600 on POSIX; on Windows a new file (an old one is removed
// first) made with an access list of one entry, full access for the user,
// that inherits nothing from the folder (Wine keeps that list only as the
// file's POSIX mode, which it sets when the file is made).
void WriteOwnerOnlyFile(const std::string& path, const std::string& content);
// The file's whole content; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);
// The lines of a text, without their line feeds.
std::vector<std::string> TextLines(const std::string& text);

} // namespace nomvera::test

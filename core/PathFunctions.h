#pragma once
#include <string>

// Plain functions on Windows paths held as wide strings.

// Text before the last backslash; empty if there is none.
std::wstring GetDirectoryPart(const std::wstring& path);
// Text after the last backslash; the whole text if there is none.
std::wstring GetFileNamePart(const std::wstring& path);
// From the last dot to the end, dot included; empty without a dot. The dot is searched in
// the whole text, so "D:\old.copies\clip" gives ".copies\clip".
std::wstring GetExtension(const std::wstring& path, bool lowerCase = false);
// Text before the last dot; the whole text if there is none.
std::wstring RemoveExtension(const std::wstring& path);
// A to Z become a to z; every other character stays.
std::wstring ToLowerAscii(std::wstring text);
// Every letter of any script in upper case, as a file system that ignores case compares
// names: two paths name the same file there when their folded forms are equal.
std::wstring CaseFolded(const std::wstring& path);
// Through the long form below, so that deep paths and names ending in a dot or a space are
// found as they are.
bool FileExists(const std::wstring& path);
// The form of a path for file-system calls: "\\?\C:\..." or "\\?\UNC\server\share\...",
// which neither stops at 260 characters nor drops a trailing dot or space from a name. The
// path shown to the user stays the plain one.
std::wstring LongPathForm(const std::wstring& path);
// The form of a path for the shell, DirectShow and other programs, which take no "\\?\"
// paths: a path of 260 characters or more in its 8.3 form where the volume keeps short names
// and that form is short enough; otherwise the path as it is.
std::wstring ShellPathForm(const std::wstring& path);
std::wstring GetWindowsFolder();
std::wstring GetDocumentsFolder();
// "item" and 3 give "item3".
std::wstring NumberSuffix(const std::wstring& prefix, int number);

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
bool FileExists(const std::wstring& path);
std::wstring GetWindowsFolder();
std::wstring GetDocumentsFolder();
// "item" and 3 give "item3".
std::wstring NumberSuffix(const std::wstring& prefix, int number);

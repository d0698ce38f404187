#pragma once
#include <string>
#include <vector>

// The paths of a list file, one per line, in file order. The file is code page 932 text;
// one that starts with a UTF-8 or UTF-16LE byte-order mark is read in that encoding.
// Line ends (CR LF or LF) are not part of a path, and empty lines are skipped. A file that
// cannot be read gives an empty list.
std::vector<std::wstring> ReadListFile(const std::wstring& path);

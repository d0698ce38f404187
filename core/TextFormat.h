#pragma once
#include <cstdint>
#include <string>

// 1234567 gives "1,234,567".
std::wstring FormatWithThousands(uint64_t value);
// A JSON string literal. Control characters and lone surrogates (a Windows file name need
// not be valid UTF-16, and UTF-8 cannot carry them) become \uXXXX escapes, so a path
// still names its file.
std::wstring JsonString(const std::wstring& text);

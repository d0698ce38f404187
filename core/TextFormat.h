#pragma once
#include <cstdint>
#include <string>

// 1234567 gives "1,234,567".
std::wstring FormatWithThousands(uint64_t value);
// A JSON string literal. Control characters and lone surrogates (a Windows file name need
// not be valid UTF-16, and UTF-8 cannot carry them) become \uXXXX escapes, so a path
// still names its file.
std::wstring JsonString(const std::wstring& text);
// A movie's length from 100 ns units: "1:32:05", or "4:07" under an hour.
std::wstring FormatMovieLength(int64_t duration);
// Bits a second of a file of `size` bytes playing `duration` (100 ns): "4,512 kbps"; empty
// when the length is unknown.
std::wstring FormatBitRate(uint64_t size, int64_t duration);
// A byte count for people: "512 B", "1.5 KB", "45.6 GB" (1 KB = 1,024 bytes, one decimal
// from KB up).
std::wstring FormatByteSize(uint64_t bytes);

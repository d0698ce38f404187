#pragma once
#include <cstdint>
#include <string>

// 1234567 gives "1,234,567".
std::wstring FormatWithThousands(uint64_t value);

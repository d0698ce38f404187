#include "core/TextFormat.h"

std::wstring FormatWithThousands(uint64_t value)
{
    std::wstring digits = std::to_wstring(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, L",");
    return digits;
}

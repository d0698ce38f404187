#include "core/TextFormat.h"

std::wstring FormatWithThousands(uint64_t value)
{
    std::wstring digits = std::to_wstring(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, L",");
    return digits;
}

static bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

static bool IsLowSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::wstring JsonString(const std::wstring& text)
{
    const wchar_t* hex = L"0123456789abcdef";
    std::wstring out = L"\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool pairs = IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (pairs) {
            out += c;
            out += text[++i];
        } else if (c < 0x20 || IsHighSurrogate(c) || IsLowSurrogate(c)) {
            out += L"\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

#include "core/TextFormat.h"

#include <cwchar>

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

std::wstring FormatMovieLength(int64_t duration)
{
    const int64_t seconds = duration > 0 ? duration / 10000000 : 0;
    wchar_t text[32];
    if (seconds >= 3600)
        swprintf(text, 32, L"%I64d:%02I64d:%02I64d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        swprintf(text, 32, L"%I64d:%02I64d", seconds / 60, seconds % 60);
    return text;
}

std::wstring FormatBitRate(uint64_t size, int64_t duration)
{
    if (duration <= 0) return std::wstring();
    const uint64_t kilobits = static_cast<uint64_t>(double(size) * 8 / 1000 / (double(duration) / 10000000) + 0.5);
    return FormatWithThousands(kilobits) + L" kbps";
}

std::wstring FormatByteSize(uint64_t bytes)
{
    static const wchar_t* const kUnits[] = {L"KB", L"MB", L"GB", L"TB", L"PB", L"EB"};
    if (bytes < 1024) return std::to_wstring(bytes) + L" B";
    // Tenths of the unit, rounded, so that 1,048,575 bytes read "1.0 MB" and not "1024.0 KB".
    int unit = 0;
    uint64_t scale = 1024;
    while (unit + 1 < 6 && (static_cast<unsigned __int128>(bytes) * 10 + scale / 2) / scale >= 10240) {
        scale *= 1024;
        ++unit;
    }
    const uint64_t tenths = static_cast<uint64_t>((static_cast<unsigned __int128>(bytes) * 10 + scale / 2) / scale);
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" " + kUnits[unit];
}

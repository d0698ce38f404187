#include "engine/ListFile.h"

#include <windows.h>

#include "core/UniqueHandle.h"

namespace {

constexpr UINT kJapaneseCodePage = 932;
constexpr LONGLONG kLargestListFile = 256LL * 1024 * 1024;

bool ReadAllBytes(const std::wstring& path, std::string& bytes)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestListFile) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes.empty() ||
           (::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
}

std::wstring Decode(const std::string& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        memcpy(text.data(), bytes.data() + 2, text.size() * 2);
        return text;
    }
    UINT codePage = kJapaneseCodePage;
    size_t skip = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        codePage = CP_UTF8;
        skip = 3;
    }
    int length = static_cast<int>(bytes.size() - skip);
    if (length == 0) return std::wstring();
    int units = ::MultiByteToWideChar(codePage, 0, bytes.data() + skip, length, nullptr, 0);
    std::wstring text(units > 0 ? units : 0, L'\0');
    if (units > 0) ::MultiByteToWideChar(codePage, 0, bytes.data() + skip, length, text.data(), units);
    return text;
}

}  // namespace

std::vector<std::wstring> ReadListFile(const std::wstring& path)
{
    std::vector<std::wstring> paths;
    std::string bytes;
    if (!ReadAllBytes(path, bytes)) return paths;
    std::wstring text = Decode(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == L'\r') --stop;
        if (stop > start) paths.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return paths;
}

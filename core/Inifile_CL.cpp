#include "core/Inifile_CL.h"

#include <windows.h>

#include <map>

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"

namespace {

std::vector<char> ReadWholeFile(const std::wstring& path, bool& ok)
{
    std::vector<char> bytes;
    ok = false;
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) return bytes;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() || (::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                           got == bytes.size());
    return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::wstring& text)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::wstring withBom = L"\xFEFF" + text;
    DWORD bytes = static_cast<DWORD>(withBom.size() * sizeof(wchar_t));
    DWORD written = 0;
    return ::WriteFile(file.Get(), withBom.data(), bytes, &written, nullptr) && written == bytes;
}

bool IsUtf16Le(const std::vector<char>& bytes)
{
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

// Text of an INI file written without a UTF-16 byte-order mark: UTF-8 when it is valid
// UTF-8 (with or without its own mark), the ANSI code page otherwise.
std::wstring DecodeNarrowText(const std::vector<char>& bytes)
{
    const char* data = bytes.data();
    int size = static_cast<int>(bytes.size());
    if (size >= 3 && memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        data += 3;
        size -= 3;
    }
    if (size == 0) return std::wstring();
    UINT codePage = CP_UTF8;
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data, size, nullptr, 0);
    if (length <= 0) {
        codePage = CP_ACP;
        length = ::MultiByteToWideChar(CP_ACP, 0, data, size, nullptr, 0);
    }
    std::wstring text(length > 0 ? length : 0, L'\0');
    if (length > 0) ::MultiByteToWideChar(codePage, 0, data, size, text.data(), length);
    return text;
}

// "item" + canonical decimal ("item7", never "item07") gives 7; anything else gives -1.
// Key names compare without regard to case, as the profile functions do.
int IndexOfKey(const std::wstring& key, const std::wstring& prefix)
{
    if (key.size() <= prefix.size() || key.size() > prefix.size() + 10) return -1;
    if (ToLowerAscii(key.substr(0, prefix.size())) != ToLowerAscii(prefix)) return -1;
    std::wstring digits = key.substr(prefix.size());
    if (digits.size() > 1 && digits[0] == L'0') return -1;
    long long value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return -1;
        value = value * 10 + (c - L'0');
    }
    return value > 0x7FFFFFFF ? -1 : static_cast<int>(value);
}

}  // namespace

Inifile_CL& TheIniFile()
{
    static Inifile_CL iniFile;
    return iniFile;
}

void Inifile_CL::SetFileName(const std::wstring& path)
{
    if (!FileExists(path)) {
        WriteWholeFile(path, std::wstring());
    } else {
        bool readable = false;
        std::vector<char> bytes = ReadWholeFile(path, readable);
        // Only a file that was read completely is rewritten: a read problem never costs
        // the user the settings inside.
        if (readable && !IsUtf16Le(bytes)) WriteWholeFile(path, DecodeNarrowText(bytes));
    }
    fileName = path;
}

int Inifile_CL::GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const
{
    return static_cast<int>(::GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, fileName.c_str()));
}

std::wstring Inifile_CL::GetString(const std::wstring& section, const std::wstring& key,
                                   const std::wstring& defaultValue) const
{
    std::wstring buffer(kValueBufferLength, L'\0');
    DWORD length = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                              kValueBufferLength, fileName.c_str());
    buffer.resize(std::min<DWORD>(length, kValueBufferLength - 1));
    return buffer;
}

void Inifile_CL::SetInt(const std::wstring& section, const std::wstring& key, int value) const
{
    SetString(section, key, std::to_wstring(value));
}

void Inifile_CL::SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value) const
{
    ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), fileName.c_str());
}

std::vector<std::wstring> Inifile_CL::GetKeyNames(const std::wstring& section) const
{
    // A null key name lists the section's keys, each ended by a zero, the list by two.
    for (DWORD room = 1 << 16; room <= (1u << 26); room *= 4) {
        std::wstring buffer(room, L'\0');
        DWORD length = ::GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer.data(), room,
                                                  fileName.c_str());
        if (length + 2 >= room) continue;  // cut: try a larger buffer
        std::vector<std::wstring> names;
        for (const wchar_t* name = buffer.c_str(); *name; name += wcslen(name) + 1) names.emplace_back(name);
        return names;
    }
    return {};
}

std::vector<std::pair<int, std::wstring>> Inifile_CL::GetIndexedStrings(const std::wstring& section,
                                                                        const std::wstring& prefix,
                                                                        int count) const
{
    std::map<int, std::wstring> keysByIndex;
    if (count > 0) {
        for (const std::wstring& name : GetKeyNames(section)) {
            int index = IndexOfKey(name, prefix);
            if (index >= 0 && index < count) keysByIndex.emplace(index, name);
        }
    }
    std::vector<std::pair<int, std::wstring>> items;
    for (const auto& [index, key] : keysByIndex) items.emplace_back(index, GetString(section, key, L""));
    return items;
}

#include "core/Inifile_CL.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "core/Log_CL.h"
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

// Writes the text (with its byte-order mark) to a temporary file beside the target, then
// puts it in the target's place. On any failure the target is left as it was.
bool WriteReplacing(const std::wstring& path, const std::wstring& text)
{
    const std::wstring temporary = path + L".tmp" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring withBom = L"\xFEFF" + text;
    const DWORD bytes = static_cast<DWORD>(withBom.size() * sizeof(wchar_t));
    bool written = false;
    {
        FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        written = file && ::WriteFile(file.Get(), withBom.data(), bytes, &done, nullptr) && done == bytes &&
                  ::FlushFileBuffers(file.Get());
    }
    // A read-only file is the user's word that it stays as it is (Wine would replace it).
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        written = false;
        ::SetLastError(ERROR_ACCESS_DENIED);
    }
    if (written && ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    TheLog().Write(L"INI書き込みエラー = %d : %s", static_cast<int>(::GetLastError()), path.c_str());
    ::DeleteFileW(temporary.c_str());
    return false;
}

bool StartsWith(const std::vector<char>& bytes, const char* mark, size_t length)
{
    return bytes.size() >= length && memcmp(bytes.data(), mark, length) == 0;
}

std::wstring Utf16Text(const std::vector<char>& bytes, size_t offset, bool bigEndian)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (size_t i = offset; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(static_cast<wchar_t>(bigEndian ? (first << 8 | second) : (second << 8 | first)));
    }
    return text;
}

// Text in a code page, refusing bytes that the code page has no character for.
bool StrictText(UINT codePage, const char* data, size_t size, std::wstring& text)
{
    text.clear();
    if (size == 0) return true;
    if (size > 0x7FFFFFFF) return false;
    const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return false;
    text.assign(length, L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data, static_cast<int>(size), text.data(), length);
    return true;
}

// UTF-16 without its mark shows as a zero byte in every other place (ASCII text):
// 1 little-endian, 2 big-endian, 0 neither.
int Utf16WithoutMark(const std::vector<char>& bytes)
{
    const size_t checked = std::min<size_t>(bytes.size() & ~size_t(1), 4096);
    if (checked < 4) return 0;
    size_t evenZeros = 0, oddZeros = 0;
    for (size_t i = 0; i < checked; i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    const size_t pairs = checked / 2;
    if (oddZeros * 4 >= pairs && evenZeros * 16 < pairs) return 1;
    if (evenZeros * 4 >= pairs && oddZeros * 16 < pairs) return 2;
    return 0;
}

// An INI file is text: a control character other than tab and line ends means the bytes
// were not decoded as what they are.
bool LooksLikeText(const std::wstring& text)
{
    return std::none_of(text.begin(), text.end(),
                        [](wchar_t c) { return c < 0x20 && c != L'\t' && c != L'\r' && c != L'\n'; });
}

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool IsSectionHeader(const std::wstring& line)
{
    const std::wstring trimmed = Trimmed(line);
    return !trimmed.empty() && trimmed[0] == L'[';
}

bool IsHeaderOf(const std::wstring& line, const std::wstring& section)
{
    return ToLowerAscii(Trimmed(line)) == L"[" + ToLowerAscii(section) + L"]";
}

bool IsLineOfKey(const std::wstring& line, const std::wstring& key)
{
    const size_t equals = line.find(L'=');
    return equals != std::wstring::npos && ToLowerAscii(Trimmed(line.substr(0, equals))) == ToLowerAscii(key);
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

bool Inifile_CL::DecodeText(const std::vector<char>& bytes, std::wstring& text)
{
    text.clear();
    bool decoded = false;
    if (StartsWith(bytes, "\xFF\xFE", 2)) {
        text = Utf16Text(bytes, 2, false);
        decoded = true;
    } else if (StartsWith(bytes, "\xFE\xFF", 2)) {
        text = Utf16Text(bytes, 2, true);
        decoded = true;
    } else if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        decoded = StrictText(CP_UTF8, bytes.data() + 3, bytes.size() - 3, text);
    } else if (int order = Utf16WithoutMark(bytes)) {
        text = Utf16Text(bytes, 0, order == 2);
        decoded = true;
    } else {
        // An editor's save without a mark: UTF-8 when it is valid UTF-8, else the Japanese
        // code page that a Japanese Windows writes.
        decoded = StrictText(CP_UTF8, bytes.data(), bytes.size(), text) ||
                  StrictText(932, bytes.data(), bytes.size(), text);
    }
    return decoded && LooksLikeText(text);
}

void Inifile_CL::SetFileName(const std::wstring& path)
{
    fileName = path;
    isUnderstood = true;
    WriteLock lock;
    if (!FileExists(path)) {
        WriteReplacing(path, std::wstring());
        return;
    }
    bool readable = false;
    std::vector<char> bytes = ReadWholeFile(path, readable);
    // Only a file that was read completely is rewritten: a read problem never costs the
    // user the settings inside.
    if (!readable || StartsWith(bytes, "\xFF\xFE", 2)) return;
    std::wstring text;
    if (DecodeText(bytes, text)) {
        TheLog().Write(L"INIファイルをUTF-16LEに変換しました");
        WriteReplacing(path, text);
        return;
    }
    isUnderstood = false;
    TheLog().Write(L"INIファイルを読めません。変更せずに既定値を使います : %s", path.c_str());
}

Inifile_CL::WriteLock::WriteLock() : mutex(::CreateMutexW(nullptr, FALSE, L"Local\\QuillmereIniWrite"))
{
    const DWORD waited = mutex ? ::WaitForSingleObject(mutex.Get(), 10000) : WAIT_FAILED;
    owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

Inifile_CL::WriteLock::~WriteLock()
{
    if (owned) ::ReleaseMutex(mutex.Get());
}

std::wstring Inifile_CL::EditSection(const std::wstring& text, const std::wstring& section, const KeyValues& keys)
{
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    auto header = std::find_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return IsHeaderOf(l, section); });
    if (header == lines.end()) {
        lines.push_back(L"[" + section + L"]");
        header = lines.end() - 1;
    }
    const size_t bodyStart = static_cast<size_t>(header - lines.begin()) + 1;
    size_t bodyEnd = bodyStart;
    while (bodyEnd < lines.size() && !IsSectionHeader(lines[bodyEnd])) ++bodyEnd;
    for (const auto& [key, value] : keys) {
        auto found = std::find_if(lines.begin() + bodyStart, lines.begin() + bodyEnd,
                                  [&](const std::wstring& l) { return IsLineOfKey(l, key); });
        if (found != lines.begin() + bodyEnd) {
            *found = key + L"=" + value;
            continue;
        }
        size_t at = bodyEnd;  // after the section's last line that is not blank
        while (at > bodyStart && Trimmed(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + at, key + L"=" + value);
        ++bodyEnd;
    }
    std::wstring edited;
    for (const std::wstring& line : lines) edited += line + L"\r\n";
    return edited;
}

int Inifile_CL::SetStrings(const std::wstring& section, const KeyValues& keys) const
{
    if (!isUnderstood) {
        TheLog().Write(L"INIファイルを読めないため書き込みません : [%s]", section.c_str());
        return 0;
    }
    WriteLock lock;
    std::wstring text;
    if (FileExists(fileName)) {
        bool readable = false;
        std::vector<char> bytes = ReadWholeFile(fileName, readable);
        if (!readable || !DecodeText(bytes, text)) {
            TheLog().Write(L"INIファイルを読めないため書き込みません : [%s]", section.c_str());
            return 0;
        }
    }
    return WriteReplacing(fileName, EditSection(text, section, keys)) ? 1 : 0;
}

int Inifile_CL::GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const
{
    if (!isUnderstood) return defaultValue;
    return static_cast<int>(::GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, fileName.c_str()));
}

std::wstring Inifile_CL::GetString(const std::wstring& section, const std::wstring& key,
                                   const std::wstring& defaultValue) const
{
    if (!isUnderstood) return defaultValue;
    std::wstring buffer(kValueBufferLength, L'\0');
    DWORD length = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                              kValueBufferLength, fileName.c_str());
    buffer.resize(std::min<DWORD>(length, kValueBufferLength - 1));
    return buffer;
}

int Inifile_CL::SetInt(const std::wstring& section, const std::wstring& key, int value) const
{
    return SetString(section, key, std::to_wstring(value));
}

int Inifile_CL::SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value) const
{
    return SetStrings(section, {{key, value}});
}

std::vector<std::wstring> Inifile_CL::GetKeyNames(const std::wstring& section) const
{
    if (!isUnderstood) return {};
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

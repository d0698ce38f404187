#include "core/Inifile_CL.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

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
// puts it in the target's place. On any failure the target is left as it was. 0 when
// written, else the error.
DWORD WriteReplacing(const std::wstring& path, const std::wstring& text)
{
    const std::wstring temporary = path + L".tmp" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring withBom = L"\xFEFF" + text;
    const DWORD bytes = static_cast<DWORD>(withBom.size() * sizeof(wchar_t));
    DWORD error = 0;
    {
        FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        if (!file || !::WriteFile(file.Get(), withBom.data(), bytes, &done, nullptr) || !::FlushFileBuffers(file.Get()))
            error = ::GetLastError();
        else if (done != bytes)
            error = ERROR_DISK_FULL;
    }
    // A read-only file is the user's word that it stays as it is (Wine would replace it).
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (!error && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) error = ERROR_ACCESS_DENIED;
    if (!error && ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    if (!error) error = ::GetLastError();
    TheLog().Write(L"INI書き込みエラー = %d : %s", static_cast<int>(error), path.c_str());
    ::DeleteFileW(temporary.c_str());
    return error ? error : ERROR_WRITE_FAULT;
}

// Writers hold the mutex from the temporary's creation to its rename or removal: whoever
// holds the mutex finds only temporaries of writers that were killed.
void RemoveStaleTemporaries(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    FindHandle search(::FindFirstFileW((path + L".tmp*").c_str(), &found));
    if (!search) return;
    const std::wstring folder = GetDirectoryPart(path), prefix = GetFileNamePart(path) + L".tmp";
    int removed = 0;
    do {
        const std::wstring name = found.cFileName;
        const std::wstring digits = name.size() > prefix.size() ? name.substr(prefix.size()) : std::wstring();
        if (digits.empty() || digits.find_first_not_of(L"0123456789") != std::wstring::npos ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        removed += ::DeleteFileW((folder + L"\\" + name).c_str()) ? 1 : 0;
    } while (::FindNextFileW(search.Get(), &found));
    if (removed) TheLog().Write(L"INIファイルの書きかけの一時ファイルを削除しました : %d", removed);
}

std::wstring SystemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_MAX_WIDTH_MASK,
                     nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0,
                     nullptr);
    LocalMemory owner(text);
    std::wstring message = text ? text : L"";
    while (!message.empty() && message.back() == L' ') message.pop_back();
    return message + L" (" + std::to_wstring(error) + L")";
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

// A header as the platform's reader takes it: "[" after blanks, the name up to the line's
// last "]" with its blanks trimmed, anything after that ignored. false for any other line.
bool HeaderName(const std::wstring& line, std::wstring& name)
{
    const size_t open = line.find_first_not_of(L" \t");
    if (open == std::wstring::npos || line[open] != L'[') return false;
    const size_t close = line.rfind(L']');
    if (close == std::wstring::npos || close < open) return false;
    name = Trimmed(line.substr(open + 1, close - open - 1));
    return true;
}

bool IsSectionHeader(const std::wstring& line)
{
    std::wstring name;
    return HeaderName(line, name);
}

bool IsHeaderOf(const std::wstring& line, const std::wstring& section)
{
    std::wstring name;
    return HeaderName(line, name) && ToLowerAscii(name) == ToLowerAscii(Trimmed(section));
}

// The lowered, trimmed key of a "key=value" line; empty for any other line.
std::wstring KeyOfLine(const std::wstring& line)
{
    const size_t equals = line.find(L'=');
    return equals == std::wstring::npos ? std::wstring() : ToLowerAscii(Trimmed(line.substr(0, equals)));
}

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The lines [first, last) of the section's first appearance; first == last == size when absent.
std::pair<size_t, size_t> SectionBody(const std::vector<std::wstring>& lines, const std::wstring& section)
{
    size_t first = 0;
    while (first < lines.size() && !IsHeaderOf(lines[first], section)) ++first;
    if (first == lines.size()) return {first, first};
    size_t last = ++first;
    while (last < lines.size() && !IsSectionHeader(lines[last])) ++last;
    return {first, last};
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

// Sets the changed keys in `keys`: replaced where named already, else added at the end.
void MergeKeys(Inifile_CL::KeyValues& keys, const Inifile_CL::KeyValues& changes)
{
    std::unordered_map<std::wstring, size_t> indexOfKey;
    for (size_t i = 0; i < keys.size(); ++i) indexOfKey.emplace(ToLowerAscii(keys[i].first), i);
    for (const auto& change : changes) {
        const auto [found, isNew] = indexOfKey.emplace(ToLowerAscii(change.first), keys.size());
        if (isNew) keys.push_back(change);
        else keys[found->second].second = change.second;
    }
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
    {
        std::lock_guard<std::mutex> guard(unsavedLock);
        unsaved.clear();
        failureReported = false;
    }
    WriteLock lock;
    if (!lock.IsOwned()) {
        TheLog().Write(L"INIファイルのロックを取得できません : %s", path.c_str());
        return;
    }
    RemoveStaleTemporaries(path);
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
    std::vector<std::wstring> lines = SplitLines(text);
    auto [bodyStart, bodyEnd] = SectionBody(lines, section);
    if (bodyStart == lines.size()) {
        lines.push_back(L"[" + section + L"]");
        bodyStart = bodyEnd = lines.size();
    }
    // Each key's line found through one index of the section, so that a change of thousands
    // of keys costs what reading them does.
    std::unordered_map<std::wstring, size_t> lineOfKey;
    for (size_t i = bodyStart; i < bodyEnd; ++i) {
        std::wstring key = KeyOfLine(lines[i]);
        if (!key.empty()) lineOfKey.emplace(std::move(key), i);
    }
    std::vector<std::wstring> added;
    std::unordered_map<std::wstring, size_t> addedOfKey;
    for (const auto& [key, value] : keys) {
        std::wstring line = key + L"=" + value;
        const std::wstring lowered = ToLowerAscii(Trimmed(key));
        if (auto found = lineOfKey.find(lowered); found != lineOfKey.end()) {
            lines[found->second] = std::move(line);
        } else if (auto again = addedOfKey.find(lowered); again != addedOfKey.end()) {
            added[again->second] = std::move(line);
        } else {
            addedOfKey.emplace(lowered, added.size());
            added.push_back(std::move(line));
        }
    }
    size_t at = bodyEnd;  // after the section's last line that is not blank
    while (at > bodyStart && Trimmed(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(at), std::make_move_iterator(added.begin()),
                 std::make_move_iterator(added.end()));
    size_t length = 0;
    for (const std::wstring& line : lines) length += line.size() + 2;
    std::wstring edited;
    edited.reserve(length);
    for (const std::wstring& line : lines) {
        edited += line;
        edited += L"\r\n";
    }
    return edited;
}

Inifile_CL::KeyValues Inifile_CL::ReadSection(const std::wstring& text, const std::wstring& section)
{
    const std::vector<std::wstring> lines = SplitLines(text);
    const auto [bodyStart, bodyEnd] = SectionBody(lines, section);
    KeyValues keys;
    std::unordered_set<std::wstring> seen;
    for (size_t i = bodyStart; i < bodyEnd; ++i) {
        const size_t equals = lines[i].find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring key = Trimmed(lines[i].substr(0, equals));
        if (key.empty() || !seen.insert(ToLowerAscii(key)).second) continue;
        std::wstring value = Trimmed(lines[i].substr(equals + 1));
        // The reader takes off one pair of enclosing quotes.
        if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        if (value.size() >= kValueBufferLength) value.resize(kValueBufferLength - 1);
        keys.emplace_back(key, std::move(value));
    }
    return keys;
}

int Inifile_CL::SetStrings(const std::wstring& section, const KeyValues& keys) const
{
    if (!isUnderstood) {
        TheLog().Write(L"INIファイルを読めないため書き込みません : [%s]", section.c_str());
        return 0;
    }
    WriteLock lock;
    std::lock_guard<std::mutex> guard(unsavedLock);
    // This change and any that earlier writes could not carry go to the file together.
    KeepUnsaved(section, keys);
    std::wstring failure, text;
    if (!lock.IsOwned()) {
        failure = L"ほかのQuillmereが設定ファイルへの書き込みを終えません";
    } else if (FileExists(fileName)) {
        bool readable = false;
        const std::vector<char> bytes = ReadWholeFile(fileName, readable);
        if (!readable) failure = SystemMessage(::GetLastError());
        else if (!DecodeText(bytes, text)) failure = L"設定ファイルの内容を読めません";
    }
    if (failure.empty()) {
        for (const auto& [name, changed] : unsaved) text = EditSection(text, name, changed);
        if (const DWORD error = WriteReplacing(fileName, text)) failure = SystemMessage(error);
    }
    if (!failure.empty()) {
        TheLog().Write(L"INIファイルに書き込めません。変更はこの実行の間だけ保持します : [%s] %s", section.c_str(),
                       failure.c_str());
        ReportFailure(failure);
        return 0;
    }
    unsaved.clear();
    return 1;
}

void Inifile_CL::KeepUnsaved(const std::wstring& section, const KeyValues& keys) const
{
    for (auto& [name, changed] : unsaved) {
        if (ToLowerAscii(name) == ToLowerAscii(section)) {
            MergeKeys(changed, keys);
            return;
        }
    }
    unsaved.emplace_back(section, keys);
}

bool Inifile_CL::FindUnsaved(const std::wstring& section, const std::wstring& key, std::wstring& value) const
{
    std::lock_guard<std::mutex> guard(unsavedLock);
    for (const auto& [name, changed] : unsaved) {
        if (ToLowerAscii(name) != ToLowerAscii(section)) continue;
        for (const auto& [changedKey, changedValue] : changed) {
            if (ToLowerAscii(changedKey) == ToLowerAscii(key)) {
                value = changedValue;
                return true;
            }
        }
    }
    return false;
}

void Inifile_CL::ReportFailure(const std::wstring& reason) const
{
    if (failureReported || !failureReporter) return;
    failureReported = true;
    failureReporter(reason);
}

void Inifile_CL::SetWriteFailureReporter(std::function<void(const std::wstring& reason)> reporter)
{
    std::lock_guard<std::mutex> guard(unsavedLock);
    failureReporter = std::move(reporter);
}

bool Inifile_CL::HasUnsavedChanges() const
{
    std::lock_guard<std::mutex> guard(unsavedLock);
    return !unsaved.empty();
}

int Inifile_CL::GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const
{
    if (!isUnderstood) return defaultValue;
    std::wstring value;
    if (FindUnsaved(section, key, value))
        return value.empty() ? defaultValue : static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    return static_cast<int>(::GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, fileName.c_str()));
}

std::wstring Inifile_CL::GetString(const std::wstring& section, const std::wstring& key,
                                   const std::wstring& defaultValue) const
{
    if (!isUnderstood) return defaultValue;
    std::wstring value;
    if (FindUnsaved(section, key, value)) return value;
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

std::vector<std::pair<int, std::wstring>> Inifile_CL::GetIndexedStrings(const std::wstring& section,
                                                                        const std::wstring& prefix,
                                                                        int count) const
{
    std::vector<std::pair<int, std::wstring>> items;
    if (!isUnderstood || count <= 0) return items;
    // One read of the file: asking the platform key by key costs the square of the list.
    bool readable = false;
    std::wstring text;
    const std::vector<char> bytes = ReadWholeFile(fileName, readable);
    if (readable) DecodeText(bytes, text);
    KeyValues keys = ReadSection(text, section);
    {
        std::lock_guard<std::mutex> guard(unsavedLock);
        for (const auto& [name, changed] : unsaved)
            if (ToLowerAscii(name) == ToLowerAscii(section)) MergeKeys(keys, changed);
    }
    std::map<int, std::wstring> valuesByIndex;
    for (auto& [key, value] : keys) {
        const int index = IndexOfKey(key, prefix);
        if (index >= 0 && index < count) valuesByIndex.emplace(index, std::move(value));
    }
    for (auto& [index, value] : valuesByIndex) items.emplace_back(index, std::move(value));
    return items;
}

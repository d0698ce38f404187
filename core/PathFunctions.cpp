#include "core/PathFunctions.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

std::wstring GetDirectoryPart(const std::wstring& path)
{
    size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring GetFileNamePart(const std::wstring& path)
{
    size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring GetExtension(const std::wstring& path, bool lowerCase)
{
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return std::wstring();
    std::wstring extension = path.substr(dot);
    return lowerCase ? ToLowerAscii(std::move(extension)) : extension;
}

std::wstring RemoveExtension(const std::wstring& path)
{
    size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos ? path : path.substr(0, dot);
}

std::wstring ToLowerAscii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring CaseFolded(const std::wstring& path)
{
    if (path.empty()) return path;
    // The simple upper-case mapping keeps every code unit in its place, as CompareStringOrdinal does.
    std::wstring folded(path.size(), L'\0');
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                                       folded.data(), static_cast<int>(folded.size()), nullptr, nullptr, 0);
    return length == static_cast<int>(path.size()) ? folded : path;
}

bool FileExists(const std::wstring& path)
{
    return !path.empty() && ::GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring LongPathForm(const std::wstring& path)
{
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
    const bool isAbsolute = (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.starts_with(L"\\\\");
    // The long form takes the path as it is: "..", "." and "/" must be resolved before.
    const bool needsResolving = !isAbsolute || path.find(L'/') != std::wstring::npos ||
                                path.find(L"\\.\\") != std::wstring::npos || path.find(L"\\..\\") != std::wstring::npos ||
                                path.ends_with(L"\\.") || path.ends_with(L"\\..") ||
                                path.find(L"\\\\", 2) != std::wstring::npos;
    std::wstring full = path;
    if (needsResolving) {
        const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
        if (length == 0) return path;
        full.assign(length, L'\0');
        full.resize(::GetFullPathNameW(path.c_str(), length, full.data(), nullptr));
    }
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring ShellPathForm(const std::wstring& path)
{
    if (path.size() < MAX_PATH) return path;
    const std::wstring longForm = LongPathForm(path);
    const DWORD length = ::GetShortPathNameW(longForm.c_str(), nullptr, 0);
    if (length == 0) return path;
    std::wstring shortForm(length, L'\0');
    shortForm.resize(::GetShortPathNameW(longForm.c_str(), shortForm.data(), length));
    if (shortForm.starts_with(L"\\\\?\\UNC\\"))
        shortForm = L"\\\\" + shortForm.substr(8);
    else if (shortForm.starts_with(L"\\\\?\\"))
        shortForm = shortForm.substr(4);
    return !shortForm.empty() && shortForm.size() < MAX_PATH ? shortForm : path;
}

static std::wstring ShellFolder(int id)
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, buffer))) return std::wstring();
    return buffer;
}

std::wstring GetWindowsFolder()
{
    return ShellFolder(CSIDL_WINDOWS);
}

std::wstring GetDocumentsFolder()
{
    return ShellFolder(CSIDL_PERSONAL);
}

std::wstring NumberSuffix(const std::wstring& prefix, int number)
{
    return prefix + std::to_wstring(number);
}

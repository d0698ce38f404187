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

bool FileExists(const std::wstring& path)
{
    return ::PathFileExistsW(path.c_str()) != FALSE;
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

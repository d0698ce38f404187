#include "ui/toolkit/FolderSelectDialog_CL.h"

#include <shlobj.h>

int FolderSelectDialog_CL::Select(HWND owner, const std::wstring& title, std::wstring& folderOut)
{
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&browse);
    if (!item) return 0;
    wchar_t path[MAX_PATH] = {};
    BOOL isFileSystem = ::SHGetPathFromIDListW(item, path);
    ::CoTaskMemFree(item);
    if (!isFileSystem) return 0;
    folderOut = path;
    return 1;
}

#pragma once
#include <windows.h>

#include <string>

// The platform's folder chooser.
class FolderSelectDialog_CL {
public:
    // 1 with the chosen file-system folder in `folderOut`; 0 when cancelled or when the
    // choice has no file-system path (`folderOut` is then unchanged).
    int Select(HWND owner, const std::wstring& title, std::wstring& folderOut);
};

#include "support/RemoteProgram.h"

#include <commctrl.h>

#include <chrono>

#include "support/GuiTestSupport.h"

namespace {

const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kUserShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

bool ReadValue(const wchar_t* key, std::wstring& value)
{
    wchar_t buffer[MAX_PATH] = {};
    DWORD bytes = sizeof(buffer);
    if (::RegGetValueW(HKEY_CURRENT_USER, key, L"Personal", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                       nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

void WriteValue(const wchar_t* key, const std::wstring& value, DWORD type)
{
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Personal", type, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

struct WindowSearch {
    DWORD processId;
    std::wstring className, title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
    wchar_t text[256] = {};
    ::GetClassNameW(window, text, 256);
    if (search->className != text) return TRUE;
    if (!search->title.empty()) {
        ::GetWindowTextW(window, text, 256);
        if (search->title != text) return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

std::wstring BinFolder()
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\'));
}

bool RemoteProgram::Start(const std::wstring& exe, const std::wstring& arguments)
{
    const std::wstring path = exe.find(L'\\') == std::wstring::npos ? BinFolder() + L"\\" + exe : exe;
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    std::wstring command = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info))
        return false;
    process.Reset(info.hProcess);
    KernelHandle thread(info.hThread);
    processId = info.dwProcessId;
    return true;
}

RemoteProgram::~RemoteProgram()
{
    if (IsRunning()) {
        ::TerminateProcess(process.Get(), 1);
        ::WaitForSingleObject(process.Get(), 5000);
    }
}

bool RemoteProgram::IsRunning() const
{
    return process && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

HWND RemoteProgram::WaitForWindow(const std::wstring& className, const std::wstring& title, int timeoutMs) const
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        WindowSearch search{processId, className, title, nullptr};
        ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(20);
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

DWORD RemoteProgram::CloseAndWait(HWND mainWindow, int timeoutMs)
{
    ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

RemoteProgram::RemoteBuffer::RemoteBuffer(HANDLE process, size_t bytes)
    : process(process), address(::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE))
{
}

RemoteProgram::RemoteBuffer::~RemoteBuffer()
{
    if (address) ::VirtualFreeEx(process, address, 0, MEM_RELEASE);
}

bool RemoteProgram::RemoteBuffer::Write(const void* data, size_t bytes, size_t offset) const
{
    return ::WriteProcessMemory(process, static_cast<char*>(address) + offset, data, bytes, nullptr);
}

bool RemoteProgram::RemoteBuffer::Read(void* data, size_t bytes, size_t offset) const
{
    return ::ReadProcessMemory(process, static_cast<char*>(address) + offset, data, bytes, nullptr);
}

int RemoteProgram::GetItemCount(HWND list) const
{
    return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring RemoteProgram::GetItemText(HWND list, int item, int subItem) const
{
    constexpr int kChars = 1024;
    RemoteBuffer remote(process.Get(), sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW cell = {};
    cell.iSubItem = subItem;
    cell.cchTextMax = kChars;
    cell.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(LVITEMW));
    remote.Write(&cell, sizeof(cell));
    ::SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(remote.Address()));
    wchar_t text[kChars] = {};
    remote.Read(text, sizeof(text) - sizeof(wchar_t), sizeof(LVITEMW));
    return text;
}

int RemoteProgram::GetCheckState(HWND list, int item) const
{
    UINT state = static_cast<UINT>(::SendMessageW(list, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK));
    return static_cast<int>(state >> 12) - 1;
}

void RemoteProgram::SetCheckState(HWND list, int item, int checked) const
{
    RemoteBuffer remote(process.Get(), sizeof(LVITEMW));
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    remote.Write(&state, sizeof(state));
    ::SendMessageW(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(remote.Address()));
}

void RemoteProgram::SelectRow(HWND list, int item) const
{
    RemoteBuffer remote(process.Get(), sizeof(LVITEMW));
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Write(&state, sizeof(state));
    ::SendMessageW(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(remote.Address()));
}

int RemoteProgram::FindRow(HWND list, const std::wstring& text) const
{
    for (int row = 0; row < GetItemCount(list); ++row)
        if (GetItemText(list, row, 0) == text) return row;
    return -1;
}

std::wstring RemoteProgram::GetTabText(HWND tab, int index) const
{
    constexpr int kChars = 256;
    RemoteBuffer remote(process.Get(), sizeof(TCITEMW) + kChars * sizeof(wchar_t));
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(TCITEMW));
    remote.Write(&item, sizeof(item));
    ::SendMessageW(tab, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(remote.Address()));
    wchar_t text[kChars] = {};
    remote.Read(text, sizeof(text) - sizeof(wchar_t), sizeof(TCITEMW));
    return text;
}

std::wstring RemoteProgram::MessageText(HWND box)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    return text;
}

DocumentsRedirect::DocumentsRedirect(const std::wstring& folder)
{
    hadUserShellFolder = ReadValue(kUserShellFoldersKey, oldUserShellFolder);
    hadShellFolder = ReadValue(kShellFoldersKey, oldShellFolder);
    WriteValue(kUserShellFoldersKey, folder, REG_EXPAND_SZ);
    WriteValue(kShellFoldersKey, folder, REG_SZ);
}

DocumentsRedirect::~DocumentsRedirect()
{
    if (hadUserShellFolder)
        WriteValue(kUserShellFoldersKey, oldUserShellFolder, REG_EXPAND_SZ);
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserShellFoldersKey, L"Personal");
    if (hadShellFolder)
        WriteValue(kShellFoldersKey, oldShellFolder, REG_SZ);
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFoldersKey, L"Personal");
}

bool WaitForText(HWND window, const std::wstring& text, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        wchar_t now[512] = {};
        ::GetWindowTextW(window, now, 512);
        if (text == now) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        ::Sleep(20);
    }
}

bool ClickAndWaitForText(HWND window, int buttonId, const std::wstring& text, int timeoutMs)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(window, buttonId)), SMTO_NORMAL, 30000, &result))
        return false;
    return WaitForText(::GetDlgItem(window, buttonId), text, timeoutMs);
}

void Click(HWND window, int buttonId)
{
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, buttonId)));
}

std::wstring TakeNotice(RemoteProgram& program, const std::wstring& screenshot)
{
    HWND box = program.WaitForWindow(L"#32770", L"お知らせ", 60000);
    if (!box) return L"(no notice)";
    std::wstring text = RemoteProgram::MessageText(box);
    if (!screenshot.empty()) TakeScreenshot(screenshot);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 200 && ::IsWindow(box); ++i) ::Sleep(10);
    return text;
}

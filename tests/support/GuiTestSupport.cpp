#include "support/GuiTestSupport.h"

#include "core/GdiPlus.h"
#include "core/Log_CL.h"

#include <commctrl.h>
#include <objbase.h>

#include <chrono>

#include "core/UniqueHandle.h"

void InitialiseGuiOnce()
{
    static bool done = [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                                               ICC_USEREX_CLASSES | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        ::CoInitialize(nullptr);
        return true;
    }();
    (void)done;
}

void PumpMessages(int milliseconds, const std::function<bool()>& until)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (until && until()) return;
        ::Sleep(5);
    }
}

void ReadOpenMenu(const std::function<void()>& open, const std::function<void(HMENU)>& read)
{
    // The menu's own loop runs inside `open`: the reading comes from a timer of that loop.
    static const std::function<void(HMENU)>* reader = nullptr;
    reader = &read;
    ::SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
        (*reader)(menuWindow ? reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0)) : nullptr);
        ::EndMenu();
    });
    open();
    PumpMessages(50);
    reader = nullptr;
}

namespace {

struct WindowQuery {
    std::wstring className, title;
    HWND found = nullptr;
};

// A visible top-level window of this process with the class and title (empty: any).
HWND FindOwnWindow(const std::wstring& className, const std::wstring& title)
{
    WindowQuery query{className, title};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* q = reinterpret_cast<WindowQuery*>(context);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
            wchar_t text[256] = {};
            if (!q->className.empty() && (!::GetClassNameW(window, text, 256) || q->className != text)) return TRUE;
            if (!q->title.empty() && (::GetWindowTextW(window, text, 256), q->title != text)) return TRUE;
            q->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

}  // namespace

std::thread WhenWindowAppears(const wchar_t* className, const wchar_t* title, std::function<void(HWND)> action)
{
    std::wstring wantedClass = className ? className : L"", wantedTitle = title ? title : L"";
    return std::thread([=] {
        for (int i = 0; i < 1000; ++i) {
            if (HWND window = FindOwnWindow(wantedClass, wantedTitle)) {
                ::Sleep(300);  // let it paint
                action(window);
                return;
            }
            ::Sleep(10);
        }
        action(nullptr);
    });
}

std::string TakeScreenshot(const std::wstring& name)
{
    using UnixName = char*(__cdecl*)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring binFolder = self;
    binFolder.resize(binFolder.find_last_of(L'\\'));
    std::wstring shots = binFolder.substr(0, binFolder.find_last_of(L'\\')) + L"\\screenshots";
    ::CreateDirectoryW(shots.c_str(), nullptr);
    char* unixFolder = toUnix(shots.c_str());
    if (!unixFolder) return std::string();
    std::string target = std::string(unixFolder) + "/" + std::string(name.begin(), name.end()) + ".png";
    ::HeapFree(::GetProcessHeap(), 0, unixFolder);

    // A file left by an earlier run would look complete before this one is written.
    const std::wstring windowsTarget = shots + L"\\" + name + L".png";
    ::DeleteFileW(windowsTarget.c_str());
    std::wstring command = L"/usr/bin/import -window root \"" + std::wstring(target.begin(), target.end()) + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(L"Z:\\usr\\bin\\import", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return std::string();
    KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    // The host program runs on its own; wait until its file is complete.
    LONGLONG lastSize = -1;
    for (int i = 0; i < 100; ++i) {
        ::Sleep(100);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExW(windowsTarget.c_str(), GetFileExInfoStandard, &data)) continue;
        LONGLONG size = (LONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size > 0 && size == lastSize) break;
        lastSize = size;
    }
    return target;
}

std::wstring ScreenshotFile(const std::wstring& name)
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    return folder.substr(0, folder.find_last_of(L'\\')) + L"\\screenshots\\" + name + L".png";
}

InProcessGui::InProcessGui()
{
    InitialiseGuiOnce();
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
}

InProcessGui::~InProcessGui()
{
    TheLog().SetPath(L"");
    Gdiplus::GdiplusShutdown(token);
}

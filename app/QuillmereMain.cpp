// Quillmere's entry point: prepares the process-wide services, runs the main window's
// message loop and takes the services down in reverse order.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <clocale>
#include <memory>

#include "core/ApplicationData_CL.h"
#include "core/UniqueHandle.h"
#include "core/Version.h"
#include "ui/main/MainWindow_CL.h"
#include "core/GdiPlus.h"

namespace {

constexpr wchar_t kInstanceMutexName[] = L"Quillmere-{6B0E3C52-8F1D-4E7A-9C35-2A4D71F0B8E9}";

// COM for the main thread; uninitialised only if it was initialised.
class ComApartment {
public:
    ComApartment() : initialised(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ComApartment()
    {
        if (initialised) ::CoUninitialize();
    }

private:
    bool initialised;
};

class GdiplusSession {
public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) token = 0;
    }
    ~GdiplusSession()
    {
        if (token) Gdiplus::GdiplusShutdown(token);
    }

private:
    ULONG_PTR token = 0;
};

// A second instance is not refused: the mutex only marks that one runs.
class InstanceMutex {
public:
    InstanceMutex() : mutex(::CreateMutexW(nullptr, TRUE, kInstanceMutexName)) {}
    ~InstanceMutex()
    {
        if (mutex) ::ReleaseMutex(mutex.Get());
    }

private:
    KernelHandle mutex;
};

void InitialiseCommonControls()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                                           ICC_COOL_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                                           ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

// Exactly one argument names a list file; any other count is ignored.
void ApplyCommandLine(MainWindow_CL& window)
{
    int count = 0;
    LocalMemory arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (arguments && count == 2) window.SetStartPath(static_cast<wchar_t**>(arguments.Get())[1]);
}

int RunMessageLoop()
{
    MSG message = {};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    setlocale(LC_ALL, "Japanese");
    InstanceMutex instanceMutex;
    ComApartment com;
    InitialiseCommonControls();
    GdiplusSession gdiplus;

    ApplicationData_CL& settings = TheApplicationData();
    settings.Load();

    int exitCode = 0;
    {
        auto mainWindow = std::make_unique<MainWindow_CL>(settings);
        ApplyCommandLine(*mainWindow);
        // Without a window nothing could end the loop: the program then just ends.
        if (mainWindow->Create()) {
            if (settings.noUpdateNotice == 0)
                mainWindow->CheckForUpdate(L"Quillmereのアップデート。", kProgramVersion);
            exitCode = RunMessageLoop();
        }
    }
    // Nothing is written at exit: every change of the folders was written when it was made,
    // and writing the whole list again would undo what another instance changed meanwhile.
    return exitCode;
}

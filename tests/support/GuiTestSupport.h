#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

// Runs the thread's message loop for a while (or until `until` holds).
void PumpMessages(int milliseconds, const std::function<bool()>& until = nullptr);
// Opens a context menu of this thread's windows by `open` (which returns once its menu loop
// has ended), hands the menu to `read` while it is up (null if none came), and closes it.
void ReadOpenMenu(const std::function<void()>& open, const std::function<void(HMENU)>& read);
// Calls `action` on another thread with the first visible top-level window of that class
// and title once it appears (polled up to 10 s; null if none came). Join the thread after
// the modal loop that shows the window has returned.
std::thread WhenWindowAppears(const wchar_t* className, const wchar_t* title, std::function<void(HWND)> action);
// Writes a screenshot of the whole X display (ImageMagick's import, under Wine only) to
// build/screenshots/<name>.png; returns the Linux path or empty.
std::string TakeScreenshot(const std::wstring& name);
// The Windows path of that screenshot, to read its pixels.
std::wstring ScreenshotFile(const std::wstring& name);
// Common controls and COM, once per test process.
void InitialiseGuiOnce();

// Common controls, COM and GDI+ for a test that builds the program's windows in its own
// process; at the end GDI+ is shut down and the log let go.
class InProcessGui {
public:
    InProcessGui();
    ~InProcessGui();
    InProcessGui(const InProcessGui&) = delete;
    InProcessGui& operator=(const InProcessGui&) = delete;

private:
    ULONG_PTR token = 0;
};

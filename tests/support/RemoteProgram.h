#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/UniqueHandle.h"
#include "support/DocumentsFolderLock.h"

// Another program of ours, started and driven from outside as a user would: its windows
// found by class and identifier, its list views read through memory in its process.
class RemoteProgram {
public:
    // Starts build/bin/<exe>, or the program at a full path, in its own folder with the
    // arguments (already quoted as needed).
    bool Start(const std::wstring& exe, const std::wstring& arguments);
    ~RemoteProgram();

    // The first visible top-level window of the program with that class (and title, when
    // given), waiting up to `timeoutMs`.
    HWND WaitForWindow(const std::wstring& className, const std::wstring& title, int timeoutMs) const;
    // Closes the main window and waits for the exit code.
    DWORD CloseAndWait(HWND mainWindow, int timeoutMs);
    bool IsRunning() const;
    DWORD GetProcessId() const { return processId; }

    int GetItemCount(HWND list) const;
    std::wstring GetItemText(HWND list, int item, int subItem) const;
    int GetCheckState(HWND list, int item) const;
    void SetCheckState(HWND list, int item, int checked) const;
    // Selects and focuses one row, as a click on it does.
    void SelectRow(HWND list, int item) const;
    std::wstring GetTabText(HWND tab, int index) const;
    // The row whose first column reads `text`, or -1.
    int FindRow(HWND list, const std::wstring& text) const;
    // The text of a message box's message.
    static std::wstring MessageText(HWND box);

private:
    // A block of memory in the other process, for messages that carry pointers.
    class RemoteBuffer {
    public:
        RemoteBuffer(HANDLE process, size_t bytes);
        ~RemoteBuffer();
        void* Address() const { return address; }
        bool Write(const void* data, size_t bytes, size_t offset = 0) const;
        bool Read(void* data, size_t bytes, size_t offset = 0) const;

    private:
        HANDLE process;
        void* address;
    };

    KernelHandle process;
    DWORD processId = 0;
};

// Points the Documents folder of the test prefix at a folder for the life of the object.
class DocumentsRedirect {
public:
    explicit DocumentsRedirect(const std::wstring& folder);
    ~DocumentsRedirect();

private:
    DocumentsFolderLock lock;  // first taken, last let go
    std::wstring oldUserShellFolder, oldShellFolder;
    bool hadUserShellFolder = false, hadShellFolder = false;
};

std::wstring BinFolder();

// Waits until a window of another program reads `text` (a button's, a bar's); false if it
// did not within `timeoutMs`.
bool WaitForText(HWND window, const std::wstring& text, int timeoutMs);
// Clicks a button of another program and waits, up to `timeoutMs`, until it reads `text`:
// the click is sent, so the program has taken it (its button changed) when the wait begins.
bool ClickAndWaitForText(HWND window, int buttonId, const std::wstring& text, int timeoutMs);
// Posts a button's click to the window that holds it.
void Click(HWND window, int buttonId);
// Waits for the program's notice box ("お知らせ"), returns its text and dismisses it; with a
// name, a screenshot is taken of it first.
std::wstring TakeNotice(RemoteProgram& program, const std::wstring& screenshot = L"");

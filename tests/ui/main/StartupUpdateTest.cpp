// The real quillmere.exe starting against an update server that accepts and never answers:
// the main window comes and answers within seconds all the same.
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

TEST(StartupUpdate, ASilentUpdateServerNeverKeepsTheProgramFromStarting)
{
    TestFolder documents;
    DocumentsRedirect redirect(documents.Path());
    MakeFolder(documents / L"Quillmere");
    LocalHttpServer server;
    server.SetResponse("");
    WriteUtf16File(documents / L"Quillmere\\Quillmere.ini",
                   L"[VERSION]\r\nnotify=0\r\nserver=127.0.0.1:" + std::to_wstring(server.Port()) + L"\r\n");
    RemoteProgram program;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.Start(L"quillmere.exe", L""));
    HWND window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
    ASSERT_NE(window, nullptr);
    DWORD_PTR answer = 0;
    // Responsive: its message loop runs.
    bool responsive = false;
    while (!responsive && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        responsive = ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &answer) != 0 &&
                     std::chrono::steady_clock::now() - start > std::chrono::milliseconds(100) && server.RequestCount() > 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(responsive);
    EXPECT_LT(seconds, 9.0);
    EXPECT_EQ(server.RequestCount(), 1) << "it did ask";
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
    const std::wstring log = BytesAsWide(ReadFileBytes(documents / L"Quillmere\\log.txt"));
    EXPECT_NE(log.find(L"HttpSendRequest()エラー"), std::wstring::npos);
}

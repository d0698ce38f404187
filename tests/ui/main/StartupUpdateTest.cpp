// The real quillmere.exe starting against update servers of the test's own on 127.0.0.1:
// whatever the server does (nothing, drip, redirect to itself, an address of 1,500
// characters), the main window answers throughout and the program goes on.
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

struct Started {
    explicit Started(const std::wstring& extraIni = L"")
    {
        MakeFolder(documents / L"Quillmere");
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini", L"[VERSION]\r\nnotify=0\r\nserver=127.0.0.1:" +
                                                                    std::to_wstring(server.Port()) + L"\r\n" + extraIni);
    }
    bool Start()
    {
        start = std::chrono::steady_clock::now();
        if (!program.Start(L"quillmere.exe", L"")) return false;
        window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
        return window != nullptr;
    }
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
    std::wstring Log() const { return BytesAsWide(ReadFileBytes(documents / L"Quillmere\\log.txt")); }

    TestFolder documents;
    DocumentsRedirect redirect{documents.Path()};
    LocalHttpServer server;
    RemoteProgram program;
    HWND window = nullptr;
    std::chrono::steady_clock::time_point start;
};

}  // namespace

TEST(StartupUpdate, NoUpdateServerEverKeepsTheWindowFromAnswering)
{
    const std::string version = std::string("9.9.9\0\0\r\nhttp://127.0.0.1/\r\n", 28);
    const struct {
        const char* name;
        std::string response;
        int dripMs;
        const wchar_t* logged;
    } servers[] = {
        {"silent", "", 0, L"HttpSendRequest()エラー"},
        {"dripping headers", "HTTP/1.1 200 OK\r\nContent-Length: 28\r\n\r\n" + version, 1500, L"更新確認を打ち切りました"},
        {"redirect to itself", "HTTP/1.1 302 Found\r\nLocation: /Quillmere/Version.txt\r\nContent-Length: 0\r\n\r\n", 0,
         L"サーバーの応答 302"},
    };
    for (const auto& s : servers) {
        Started started;
        started.server.SetResponse(s.response);
        started.server.SetDrip(s.dripMs);
        ASSERT_TRUE(started.Start()) << s.name;
        // Answers within a second at every moment of the check and past its deadline.
        double slowest = 0;
        while (started.Seconds() < 8) {
            const auto asked = std::chrono::steady_clock::now();
            DWORD_PTR answer = 0;
            const bool answered =
                ::SendMessageTimeoutW(started.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer) != 0;
            slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
            EXPECT_TRUE(answered) << s.name << " at " << started.Seconds() << " s";
            ::Sleep(100);
        }
        EXPECT_LT(slowest, 1.0) << s.name;
        EXPECT_EQ(started.server.RequestCount(), 1) << s.name;
        EXPECT_NE(started.Log().find(s.logged), std::wstring::npos) << s.name;
        EXPECT_EQ(started.program.CloseAndWait(started.window, 10000), 0u) << s.name;
    }
}

TEST(StartupUpdate, AnOverlongDownloadAddressIsRefusedWithoutACrash)
{
    Started started(L"force=1\r\n");
    const std::string address = "http://127.0.0.1/" + std::string(1500, 'a');
    started.server.SetBody(std::string("9.9.9\0\0\r\n", 9) + address + "\r\n");
    ASSERT_TRUE(started.Start());
    HWND notice = started.program.WaitForWindow(L"#32770", L"Quillmereのアップデート。", 15000);
    ASSERT_NE(notice, nullptr);
    ::PostMessageW(notice, WM_COMMAND, 0x1000, 0);  // "サイトへ移動する"
    for (int i = 0; i < 20 && started.Log().find(L"OpenAddress()拒否") == std::wstring::npos; ++i) ::Sleep(100);
    EXPECT_NE(started.Log().find(L"OpenAddress()拒否"), std::wstring::npos);
    EXPECT_TRUE(started.program.IsRunning());
    EXPECT_EQ(started.program.CloseAndWait(started.window, 10000), 0u);
}

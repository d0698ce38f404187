// The update check against a server of the test's own on 127.0.0.1: the notice in both
// forms, the once-a-day rule, and servers that are silent, absent or hostile.
#include <gtest/gtest.h>

#include "support/LocalHttpServer.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <string>

#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "core/ShellExecuteHook.h"
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"
#include "update/InetHttp_CL.h"
#include "update/UpdateCheck_CL.h"

namespace {

std::vector<std::wstring> opened;
HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    opened.push_back(file ? file : L"");
    return reinterpret_cast<HINSTANCE>(33);
}

int Today()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now.wDay;
}

// An INI of its own pointing the check at the test's server, and the log beside it.
struct Fixture {
    explicit Fixture(const std::wstring& extra = L"")
    {
        InitialiseGuiOnce();
        ini.SetFileName(folder / L"Quillmere.ini");
        ini.SetString(L"VERSION", L"server", L"127.0.0.1:" + std::to_wstring(server.Port()));
        for (size_t start = 0; start < extra.size();) {
            size_t end = extra.find(L';', start);
            std::wstring pair = extra.substr(start, end - start);
            ini.SetString(L"VERSION", pair.substr(0, pair.find(L'=')), pair.substr(pair.find(L'=') + 1));
            start = end == std::wstring::npos ? extra.size() : end + 1;
        }
        TheLog().SetPath(folder / L"log.txt");
        TheShellExecute() = &RecordOpen;
        opened.clear();
    }
    ~Fixture()
    {
        TheShellExecute() = &::ShellExecuteW;
        TheLog().SetPath(L"");
    }
    // Runs the check without an owner; gives the notice's text ("" if none came) and
    // answers it with `button`.
    std::wstring CheckAnswering(int button)
    {
        std::wstring text;
        std::atomic<bool> checked{false};
        std::thread answer([&] {
            while (!checked) {
                HWND box = ::FindWindowW(L"#32770", L"Quillmereのアップデート。");
                if (box && ::IsWindowVisible(box)) {
                    ::Sleep(200);
                    text = RemoteProgram::MessageText(box);
                    ::PostMessageW(box, WM_COMMAND, button, 0);
                    return;
                }
                ::Sleep(10);
            }
        });
        UpdateCheck_CL(ini, nullptr).Check(L"Quillmereのアップデート。", L"1.0.8", nullptr);
        checked = true;
        answer.join();
        return text;
    }
    std::wstring Log() const { return BytesAsWide(ReadFileBytes(folder / L"log.txt")); }

    TestFolder folder;
    LocalHttpServer server;
    Inifile_CL ini;
};

std::string VersionFile(const std::string& version, const std::string& address)
{
    std::string body = version;
    body.resize(7, '\0');
    return body + "\r\n" + address + "\r\n";
}

}  // namespace

TEST(UpdateCheck, VersionFilesServerNamesAndVersionsAreReadSafely)
{
    std::wstring version, address;
    auto parse = [&](const std::string& body) {
        std::vector<char> bytes(body.begin(), body.end());
        bytes.push_back(0);
        UpdateCheck_CL::ParseVersionFile(bytes, static_cast<int64_t>(body.size()), version, address);
    };
    parse(VersionFile("1.0.9", "http://example.com/dl/"));
    EXPECT_EQ(version, L"1.0.9");
    EXPECT_EQ(address, L"http://example.com/dl/");
    parse("<html>error</html>");
    EXPECT_EQ(version, L"0.0.0.0");
    for (const std::string& shortBody : {std::string(), std::string("1.0"), std::string("1.0.9\0\0\r\n", 9)}) {
        parse(shortBody);
        EXPECT_TRUE(address.empty());
    }
    EXPECT_EQ(version, L"1.0.9");

    EXPECT_TRUE(UpdateCheck_CL::IsNewer(L"1.0.8", L"1.0.10"));
    EXPECT_TRUE(UpdateCheck_CL::IsNewer(L"1.0.8", L"1.0.9"));
    EXPECT_TRUE(UpdateCheck_CL::IsNewer(L"1.0.8", L"2"));
    EXPECT_FALSE(UpdateCheck_CL::IsNewer(L"1.0.8", L"1.0.8\r\n")) << "a line break in the field is no new version";
    EXPECT_FALSE(UpdateCheck_CL::IsNewer(L"1.0.8", L"1.0.8.0"));
    EXPECT_FALSE(UpdateCheck_CL::IsNewer(L"1.0.8", L"0.0.0.0"));
    EXPECT_FALSE(UpdateCheck_CL::IsNewer(L"1.0.8", L"1.0.7"));

    std::wstring host;
    unsigned short port = 0;
    EXPECT_TRUE(UpdateCheck_CL::ParseServer(L"updates.example.org", host, port));
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(UpdateCheck_CL::ParseServer(L"127.0.0.1:8080", host, port));
    EXPECT_EQ(host, L"127.0.0.1");
    EXPECT_EQ(port, 8080);
    for (const wchar_t* bad : {L"", L"host:", L"host:99999", L"host:x", L"http://host/", L":80"})
        EXPECT_FALSE(UpdateCheck_CL::ParseServer(bad, host, port));

    EXPECT_EQ(InetHttp_CL::ParseContentLength(L"42"), 42);
    for (const wchar_t* bad : {L"", L"-5", L"99999999999999999999", L"abc", L"12 "})
        EXPECT_EQ(InetHttp_CL::ParseContentLength(bad), -1);
}

TEST(UpdateCheck, ANewerVersionIsOfferedAndTheDayIsRemembered)
{
    Fixture f;
    f.server.SetBody(VersionFile("1.0.10", "http://127.0.0.1/download/"));
    const std::wstring text = f.CheckAnswering(IDNO);  // "remind later"
    EXPECT_EQ(text, UpdateCheck_CL::NoticeText(L"1.0.10", L"1.0.8"));
    EXPECT_EQ(text, L"最新のバージョン1.0.10が公開されています。\r\nサイトへ移動しますか？\r\n\r\n"
                    L"　（現在インストールされているバージョンは1.0.8です。）\r\n");
    EXPECT_EQ(f.ini.GetInt(L"VERSION", L"last_day", 0), Today());
    EXPECT_EQ(f.server.LastRequestLine(), "GET /Quillmere/Version.txt HTTP/1.1");

    // Asked today already: no request at all.
    EXPECT_EQ(f.CheckAnswering(IDYES), L"");
    EXPECT_EQ(f.server.RequestCount(), 1);
    // `force` asks and shows every time; Yes opens the address.
    f.ini.SetInt(L"VERSION", L"force", 1);
    f.server.SetBody(VersionFile("1.0.8", "http://127.0.0.1/download/"));
    EXPECT_NE(f.CheckAnswering(IDYES), L"");
    EXPECT_EQ(opened, std::vector<std::wstring>{L"http://127.0.0.1/download/"});
    // `notify` 1: nothing is asked.
    f.ini.SetInt(L"VERSION", L"notify", 1);
    EXPECT_EQ(f.CheckAnswering(IDYES), L"");
    EXPECT_EQ(f.server.RequestCount(), 2);
}

TEST(UpdateCheck, TheSameVersionOrAnErrorPageShowsNothingAndAnOwnedNoticeHasTwoButtons)
{
    {
        Fixture f;
        f.server.SetBody(VersionFile("1.0.8", "http://127.0.0.1/"));
        EXPECT_EQ(f.CheckAnswering(IDYES), L"");
        EXPECT_EQ(f.ini.GetInt(L"VERSION", L"last_day", 0), Today());
    }
    {
        Fixture f;
        f.server.SetResponse("HTTP/1.1 404 Not Found\r\nContent-Length: 22\r\n\r\n<html>not found</html>");
        EXPECT_EQ(f.CheckAnswering(IDYES), L"");
    }
    // With an owner: the dialog, centred over it; its first button goes to the site.
    Fixture f;
    f.server.SetBody(VersionFile("1.1.0", "https://127.0.0.1/new/"));
    HWND owner = ::CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 640, 480, nullptr,
                                   nullptr, nullptr, nullptr);
    std::wstring shownText;
    RECT dialogRect = {};
    std::thread answer = WhenWindowAppears(L"#32770", L"Quillmereのアップデート。", [&](HWND dialog) {
        if (!dialog) return;
        wchar_t text[512] = {};
        ::GetWindowTextW(::GetDlgItem(dialog, 0x1100), text, 512);
        shownText = text;
        ::GetWindowRect(dialog, &dialogRect);
        TakeScreenshot(L"update-notice");
        ::PostMessageW(dialog, WM_COMMAND, 0x1000, 0);
    });
    UpdateCheck_CL(f.ini, &owner).Check(L"Quillmereのアップデート。", L"1.0.8", owner);
    answer.join();
    EXPECT_EQ(shownText, UpdateCheck_CL::NoticeText(L"1.1.0", L"1.0.8"));
    EXPECT_NEAR((dialogRect.left + dialogRect.right) / 2, 100 + 320, 20) << "centred over its owner";
    EXPECT_EQ(opened, std::vector<std::wstring>{L"https://127.0.0.1/new/"});
    ::DestroyWindow(owner);
}

TEST(UpdateCheck, SilentAbsentAndHostileServersCostSecondsAndShowNothing)
{
    {
        Fixture f;
        f.server.SetResponse("");  // accepts, never answers
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(f.CheckAnswering(IDYES), L"");
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 8.0);
        EXPECT_EQ(f.ini.GetInt(L"VERSION", L"last_day", 0), 0) << "tried again next time";
    }
    {
        Fixture f;
        f.ini.SetString(L"VERSION", L"server", L"127.0.0.1:1");  // nothing listens there
        EXPECT_EQ(f.CheckAnswering(IDYES), L"");
        const std::wstring log = f.Log();
        const bool logged = log.find(L"HttpSendRequest()エラー = 0x8007") != std::wstring::npos ||
                            log.find(L"InternetConnect()エラー = 0x8007") != std::wstring::npos;
        EXPECT_TRUE(logged) << std::string(log.begin(), log.end());
        const size_t colon = log.rfind(L"エラー = 0x");
        EXPECT_GT(log.find(L"\r\n", colon) - colon, 22u) << "with the system's text";
    }
    const std::string headers = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    const std::string fine = VersionFile("9.9.9", "http://127.0.0.1/");
    for (const std::string& response :
         {headers + "\r\n" + fine, headers + "Content-Length: -5\r\n\r\n" + fine,
          headers + "Content-Length: 99999999999\r\n\r\n" + fine, headers + "Content-Length: lots\r\n\r\n" + fine,
          headers + "Content-Length: 0\r\n\r\n", headers + "Content-Length: 3\r\n\r\n1.0",
          headers + "Content-Length: 1000000\r\n\r\n" + std::string(1000000, '9'),
          headers + "Content-Length: 40\r\n\r\n" + fine.substr(0, 10)}) {
        Fixture f;
        f.server.SetResponse(response);
        EXPECT_EQ(f.CheckAnswering(IDYES), L"") << response.substr(0, 80);
    }
    // A newer version whose address is no web address: offered, but never opened.
    for (const char* address : {"file:///C:/Windows/notepad.exe", "C:\\Windows\\notepad.exe", "\\\\host\\share"}) {
        Fixture f;
        f.server.SetBody(VersionFile("2.0.0", address));
        EXPECT_NE(f.CheckAnswering(IDYES), L"");
        EXPECT_TRUE(opened.empty()) << address;
    }
}

TEST(UpdateCheck, OnlyAWellFormedVersionServedWithA200CountsAndNothingElseIsRemembered)
{
    const std::string version = VersionFile("9.9.9", "http://127.0.0.1/");
    auto answer = [](const std::string& status, const std::string& body) {
        return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    };
    for (const std::string& response :
         {answer("404 Not Found", "404 page not found"), answer("503 Service Unavailable", "503 Service Unavailable"),
          answer("500 Internal Server Error", version), answer("200 OK", "Service temporarily down"),
          answer("200 OK", std::string(7, '\0') + "\r\nhttp://127.0.0.1/\r\n")}) {
        Fixture f;
        f.server.SetResponse(response);
        EXPECT_EQ(f.CheckAnswering(IDYES), L"") << response.substr(0, 40);
        EXPECT_EQ(f.ini.GetInt(L"VERSION", L"last_day", 0), 0) << "asked again next start: " << response.substr(0, 40);
    }
    // A redirect back to the same file is not followed (WinINet would follow it thousands
    // of times): one request, no notice, nothing remembered.
    Fixture f;
    const std::string self = "http://127.0.0.1:" + std::to_string(f.server.Port()) + "/Quillmere/Version.txt";
    f.server.SetResponse("HTTP/1.1 302 Found\r\nLocation: " + self + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(f.CheckAnswering(IDYES), L"");
    EXPECT_EQ(f.server.RequestCount(), 1);
    EXPECT_EQ(f.ini.GetInt(L"VERSION", L"last_day", 0), 0);
    EXPECT_NE(f.Log().find(L"サーバーの応答 302"), std::wstring::npos);
}

TEST(UpdateCheck, ServersThatDripAreDroppedAtTheDeadline)
{
    const std::string version = VersionFile("9.9.9", "http://127.0.0.1/");
    const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(version.size()) + "\r\n\r\n";
    // Headers one byte each 1.5 s; the body one byte a second.
    for (const size_t dripFrom : {size_t(0), headers.size()}) {
        Fixture f;
        f.server.SetResponse(headers + version);
        f.server.SetDrip(dripFrom == 0 ? 1500 : 1000, dripFrom);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(f.CheckAnswering(IDYES), L"");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, UpdateCheck_CL::kDeadlineMs / 1000.0 + 2) << "dripping from byte " << dripFrom;
        EXPECT_NE(f.Log().find(L"更新確認を打ち切りました"), std::wstring::npos);
        EXPECT_EQ(f.ini.GetInt(L"VERSION", L"last_day", 0), 0);
    }
}

TEST(UpdateCheck, TheDownloadAddressReachesTheBrowserAsPublishedOrNotAtAll)
{
    ::SetEnvironmentVariableW(L"DEADBEEF", L"secret");
    const std::string longAddress = "https://127.0.0.1/" + std::string(1500, 'a');
    const struct {
        std::string published;
        std::wstring opened;  // empty: refused
    } cases[] = {
        // The shell would fill these from the environment: they go as the text they are.
        {"https://127.0.0.1/dl?u=%USERNAME%&p=%USERPROFILE%&c=%COMPUTERNAME%&x=%41%zz%",
         L"https://127.0.0.1/dl?u=%25USERNAME%25&p=%25USERPROFILE%25&c=%25COMPUTERNAME%25&x=%41%25zz%25"},
        {"https://127.0.0.1/%E3%83%80/", L"https://127.0.0.1/%E3%83%80/"},
        {"https://127.0.0.1/ダウンロード/", L"https://127.0.0.1/ダウンロード/"},
        {"http://127.0.0.1/caf\xE9/", L"http://127.0.0.1/caf\u00E9/"},  // not UTF-8: byte by byte, as before
        {"https://127.0.0.1/%DEADBEEF%20", L""},  // escapes that still enclose a variable's name
        {longAddress, L""},
    };
    for (const auto& c : cases) {
        Fixture f(L"force=1");
        f.server.SetBody(VersionFile("9.9.9", c.published));
        EXPECT_NE(f.CheckAnswering(IDYES), L"");
        EXPECT_EQ(opened, c.opened.empty() ? std::vector<std::wstring>() : std::vector<std::wstring>{c.opened})
            << c.published.substr(0, 60);
        if (c.opened.empty()) {
            EXPECT_NE(f.Log().find(L"OpenAddress()拒否"), std::wstring::npos);
        }
    }
    ::SetEnvironmentVariableW(L"DEADBEEF", nullptr);
}

#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Inifile_CL;

// The update check at start: fetches the version file from the update server, and when it
// names a newer version than ours, offers to open its download page or to remind later.
// The check asks the server at most once a day unless `[VERSION] force` is set.
class UpdateCheck_CL {
public:
    static constexpr wchar_t kDefaultServer[] = L"www.quillmere.jp";
    static constexpr wchar_t kObjectName[] = L"Quillmere/Version.txt";
    static constexpr int64_t kLargestVersionFile = 4096;

    // The server is `[VERSION] server` when set ("host" or "host:port"), else the default.
    UpdateCheck_CL(Inifile_CL& ini, HWND* ownerWindow);
    void Check(const std::wstring& title, const std::wstring& currentVersion, HWND ownerHandle);

    // "host" or "host:port" (port 80 when none is given); false for anything else.
    static bool ParseServer(const std::wstring& text, std::wstring& host, unsigned short& port);
    // The version file: the newest version (the bytes before the first NUL, at most seven)
    // and the download address (bytes 9 to length-3, up to a NUL). An HTML page is 0.0.0.0.
    static void ParseVersionFile(const std::vector<char>& body, int64_t length, std::wstring& newestVersion,
                                 std::wstring& siteAddress);
    // Whether `newest` is a later version than `current`: dotted numbers compared part by
    // part (1.0.10 is later than 1.0.8), trailing spaces and line breaks ignored.
    static bool IsNewer(const std::wstring& current, const std::wstring& newest);
    // The notice's text.
    static std::wstring NoticeText(const std::wstring& newestVersion, const std::wstring& currentVersion);

private:
    Inifile_CL& ini;
    HWND* ownerWindow;
    std::wstring serverName;
    unsigned short port = 80;
};

#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Inifile_CL;

// What the update server said, when it was a version file.
struct UpdateAnswer {
    bool isVersionFile = false;  // a 200 whose body holds a well-formed version
    std::wstring newestVersion;
    std::wstring siteAddress;
};

// The update check at start: fetches the version file from the update server, and when it
// names a newer version than ours, offers to open its download page or to remind later.
// The check asks the server at most once a day unless `[VERSION] force` is set. The whole
// exchange is given kDeadlineMs: a server that drips, loops or never answers is dropped then.
class UpdateCheck_CL {
public:
    static constexpr wchar_t kDefaultServer[] = L"www.quillmere.jp";
    static constexpr wchar_t kObjectName[] = L"Quillmere/Version.txt";
    static constexpr int64_t kLargestVersionFile = 4096;
    static constexpr DWORD kDeadlineMs = 5000;

    // The server is `[VERSION] server` when set ("host" or "host:port"), else the default.
    UpdateCheck_CL(Inifile_CL& ini, HWND* ownerWindow);
    // The whole check on the calling thread: asks (waiting at most the deadline) and answers.
    void Check(const std::wstring& title, const std::wstring& currentVersion, HWND ownerHandle);

    // The check without holding up `window`: the server is asked on a thread of its own, and
    // when it is due and answers with a version file in time, `message` is posted to the
    // window with an UpdateAnswer* as lParam (the receiver deletes it, then calls Answer).
    static void StartForWindow(Inifile_CL& ini, HWND window, UINT message);

    // Whether the server is to be asked now (not switched off, not asked today already).
    bool IsDue() const;
    // Asks the server; within kDeadlineMs whatever the server does.
    UpdateAnswer Ask() const;
    // Offers a newer version of the answer (the notice), and remembers the day as the
    // answer and the user say. On the thread of the notice's owner.
    void Answer(const UpdateAnswer& answer, const std::wstring& title, const std::wstring& currentVersion,
                HWND ownerHandle);

    // "host" or "host:port" (port 80 when none is given); false for anything else.
    static bool ParseServer(const std::wstring& text, std::wstring& host, unsigned short& port);
    // The version file: the newest version (the bytes before the first NUL, at most seven)
    // and the download address (bytes 9 to length-3, up to a NUL, read as UTF-8 when they
    // are UTF-8, else byte by byte). An HTML page is 0.0.0.0.
    static void ParseVersionFile(const std::vector<char>& body, int64_t length, std::wstring& newestVersion,
                                 std::wstring& siteAddress);
    // Dotted decimal numbers ("1.0.9"), trailing spaces and line breaks allowed.
    static bool IsVersionText(const std::wstring& text);
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

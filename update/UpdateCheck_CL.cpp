#include "update/UpdateCheck_CL.h"

#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "core/OpenAddress.h"
#include "update/InetHttp_CL.h"
#include "update/UpdateDialog_CL.h"

namespace {

// Set while a notice is open, so that no second check shows another.
volatile LONG isNoticeShowing = 0;

int Today()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now.wDay;
}

std::vector<unsigned long> VersionParts(std::wstring text)
{
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' || text.back() == L'\t'))
        text.pop_back();
    std::vector<unsigned long> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = text.find(L'.', start);
        const std::wstring part = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        parts.push_back(part.empty() ? 0 : std::wcstoul(part.c_str(), nullptr, 10));
        if (dot == std::wstring::npos) break;
        start = dot + 1;
    }
    return parts;
}

}  // namespace

UpdateCheck_CL::UpdateCheck_CL(Inifile_CL& ini, HWND* ownerWindow) : ini(ini), ownerWindow(ownerWindow), serverName(kDefaultServer)
{
    const std::wstring configured = ini.GetString(L"VERSION", L"server", L"");
    if (!configured.empty() && !ParseServer(configured, serverName, port)) {
        TheLog().Write(L"更新サーバーの指定が正しくありません : %s", configured.c_str());
        serverName = kDefaultServer;
        port = 80;
    }
}

bool UpdateCheck_CL::ParseServer(const std::wstring& text, std::wstring& host, unsigned short& port)
{
    const size_t colon = text.rfind(L':');
    const std::wstring name = text.substr(0, colon);
    if (name.empty() || name.find_first_of(L"/\\ @") != std::wstring::npos) return false;
    unsigned long number = 80;
    if (colon != std::wstring::npos) {
        const std::wstring digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
        number = std::wcstoul(digits.c_str(), nullptr, 10);
        if (number == 0 || number > 65535) return false;
    }
    host = name;
    port = static_cast<unsigned short>(number);
    return true;
}

void UpdateCheck_CL::ParseVersionFile(const std::vector<char>& body, int64_t length, std::wstring& newestVersion,
                                      std::wstring& siteAddress)
{
    newestVersion.clear();
    siteAddress.clear();
    const int64_t size = std::min<int64_t>(length, static_cast<int64_t>(body.size()));
    if (size > 0 && body[0] == '<') {
        newestVersion = L"0.0.0.0";
        return;
    }
    for (int64_t i = 0; i < size && i < 7 && body[i] != 0; ++i) newestVersion.push_back(static_cast<unsigned char>(body[i]));
    for (int64_t i = 9; i < size - 2 && body[i] != 0; ++i) siteAddress.push_back(static_cast<unsigned char>(body[i]));
}

bool UpdateCheck_CL::IsNewer(const std::wstring& current, const std::wstring& newest)
{
    const std::vector<unsigned long> ours = VersionParts(current), theirs = VersionParts(newest);
    for (size_t i = 0; i < std::max(ours.size(), theirs.size()); ++i) {
        const unsigned long a = i < ours.size() ? ours[i] : 0, b = i < theirs.size() ? theirs[i] : 0;
        if (a != b) return b > a;
    }
    return false;
}

std::wstring UpdateCheck_CL::NoticeText(const std::wstring& newestVersion, const std::wstring& currentVersion)
{
    return L"最新のバージョン" + newestVersion + L"が公開されています。" + L"\r\n" + L"サイトへ移動しますか？\r\n\r\n" +
           L"　（現在インストールされているバージョンは" + currentVersion + L"です。）\r\n";
}

void UpdateCheck_CL::Check(const std::wstring& title, const std::wstring& currentVersion, HWND ownerHandle)
{
    const int force = ini.GetInt(L"VERSION", L"force", 0);
    if (isNoticeShowing) return;
    if (ini.GetInt(L"VERSION", L"notify", 0) != 0) return;
    const int lastDay = ini.GetInt(L"VERSION", L"last_day", 0);
    const int today = Today();
    if (force == 0 && lastDay == today) return;

    InetHttp_CL http;
    if (!http.Open() || !http.Connect(serverName, port) || !http.Get(kObjectName)) return;
    const int64_t length = http.GetContentLength();
    // The version file is a few dozen bytes: a missing, unreadable or huge length is no
    // version file, and nothing is read for it.
    if (length < 0 || length > kLargestVersionFile) return;
    if (http.Read(length, kLargestVersionFile) != length) return;

    std::wstring newestVersion, siteAddress;
    ParseVersionFile(http.GetBody(), length, newestVersion, siteAddress);
    if (force != 1 && !IsNewer(currentVersion, newestVersion)) {
        ini.SetInt(L"VERSION", L"last_day", today);
        return;
    }

    isNoticeShowing = 1;
    int answer = 0;
    const std::wstring text = NoticeText(newestVersion, currentVersion);
    if (ownerHandle) {
        UpdateDialog_CL dialog(title, text);
        answer = static_cast<int>(dialog.DoModal(ownerWindow ? *ownerWindow : ownerHandle));
    } else {
        const int pressed = ::MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_YESNOCANCEL);
        answer = pressed == IDYES ? 1 : pressed == IDNO ? 2 : 0;
    }
    if (answer == 1) OpenAddress(siteAddress, 0);
    if (answer == 2) ini.SetInt(L"VERSION", L"last_day", today);
    isNoticeShowing = 0;
}

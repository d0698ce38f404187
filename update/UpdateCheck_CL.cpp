#include "update/UpdateCheck_CL.h"

#include <memory>
#include <thread>

#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "core/OpenAddress.h"
#include "core/UniqueHandle.h"
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

// One exchange with the server, shared by the thread that runs it and the one that waits.
struct Exchange {
    std::wstring serverName;
    unsigned short port = 80;
    ULONGLONG deadline = 0;
    UpdateAnswer answer;
};

void RunExchange(Exchange& exchange)
{
    InetHttp_CL http;
    http.SetDeadline(exchange.deadline);
    if (!http.Open() || !http.Connect(exchange.serverName, exchange.port) || !http.Get(UpdateCheck_CL::kObjectName)) return;
    if (http.GetStatusCode() != HTTP_STATUS_OK) {
        TheLog().Write(L"更新確認 : サーバーの応答 %u", static_cast<unsigned>(http.GetStatusCode()));
        return;
    }
    const int64_t length = http.GetContentLength();
    // The version file is a few dozen bytes: a missing, unreadable or huge length is no
    // version file, and nothing is read for it.
    if (length < 0 || length > UpdateCheck_CL::kLargestVersionFile) return;
    if (http.Read(length, UpdateCheck_CL::kLargestVersionFile) != length) return;
    UpdateAnswer& answer = exchange.answer;
    UpdateCheck_CL::ParseVersionFile(http.GetBody(), length, answer.newestVersion, answer.siteAddress);
    answer.isVersionFile = UpdateCheck_CL::IsVersionText(answer.newestVersion);
    if (!answer.isVersionFile) TheLog().Write(L"更新確認 : バージョンが読めません");
}

DWORD WINAPI RunExchangeThread(void* parameter)
{
    const std::unique_ptr<std::shared_ptr<Exchange>> exchange(static_cast<std::shared_ptr<Exchange>*>(parameter));
    RunExchange(**exchange);
    return 0;
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
    int64_t end = 9;
    while (end < size - 2 && body[end] != 0) ++end;
    if (end <= 9) return;
    const char* address = body.data() + 9;
    const int bytes = static_cast<int>(end - 9);
    // Addresses of non-ASCII pages are published as UTF-8; other bytes stand for themselves.
    const int length16 = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, address, bytes, nullptr, 0);
    if (length16 > 0) {
        siteAddress.assign(length16, L'\0');
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, address, bytes, siteAddress.data(), length16);
    } else {
        for (int i = 0; i < bytes; ++i) siteAddress.push_back(static_cast<unsigned char>(address[i]));
    }
}

bool UpdateCheck_CL::IsVersionText(const std::wstring& text)
{
    const size_t end = text.find_last_not_of(L" \t\r\n");
    if (end == std::wstring::npos || text[0] < L'0' || text[0] > L'9') return false;
    for (size_t i = 0; i <= end; ++i)
        if (!(text[i] == L'.' || (text[i] >= L'0' && text[i] <= L'9'))) return false;
    return true;
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

bool UpdateCheck_CL::IsDue() const
{
    if (isNoticeShowing) return false;
    if (ini.GetInt(L"VERSION", L"notify", 0) != 0) return false;
    return ini.GetInt(L"VERSION", L"force", 0) != 0 || ini.GetInt(L"VERSION", L"last_day", 0) != Today();
}

UpdateAnswer UpdateCheck_CL::Ask() const
{
    auto exchange = std::make_shared<Exchange>();
    exchange->serverName = serverName;
    exchange->port = port;
    exchange->deadline = ::GetTickCount64() + kDeadlineMs;
    // WinINet's time-outs bound each wait, not a server that keeps sending a byte now and
    // then: the exchange runs apart, and one that overruns is left to end by itself. The
    // wait is for the thread's end, so no thread of a finished exchange outlives the check.
    auto* shared = new std::shared_ptr<Exchange>(exchange);
    const KernelHandle thread(::CreateThread(nullptr, 0, &RunExchangeThread, shared, 0, nullptr));
    if (!thread) {
        delete shared;
        return UpdateAnswer();
    }
    if (::WaitForSingleObject(thread.Get(), kDeadlineMs) != WAIT_OBJECT_0) {
        TheLog().Write(L"更新確認を打ち切りました(%u秒以内に終わりません)", static_cast<unsigned>(kDeadlineMs / 1000));
        return UpdateAnswer();
    }
    return exchange->answer;
}

void UpdateCheck_CL::Answer(const UpdateAnswer& answer, const std::wstring& title, const std::wstring& currentVersion,
                            HWND ownerHandle)
{
    // Anything but a version file (no answer, an error status, a redirect, a page of text)
    // is no check at all: the next start asks again.
    if (!answer.isVersionFile || isNoticeShowing) return;
    const int today = Today();
    if (ini.GetInt(L"VERSION", L"force", 0) != 1 && !IsNewer(currentVersion, answer.newestVersion)) {
        ini.SetInt(L"VERSION", L"last_day", today);
        return;
    }

    isNoticeShowing = 1;
    int pressed = 0;
    const std::wstring text = NoticeText(answer.newestVersion, currentVersion);
    if (ownerHandle) {
        UpdateDialog_CL dialog(title, text);
        pressed = static_cast<int>(dialog.DoModal(ownerWindow ? *ownerWindow : ownerHandle));
    } else {
        const int button = ::MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_YESNOCANCEL);
        pressed = button == IDYES ? 1 : button == IDNO ? 2 : 0;
    }
    if (pressed == 1) OpenAddress(answer.siteAddress, 0);
    if (pressed == 2) ini.SetInt(L"VERSION", L"last_day", today);
    isNoticeShowing = 0;
}

void UpdateCheck_CL::Check(const std::wstring& title, const std::wstring& currentVersion, HWND ownerHandle)
{
    if (IsDue()) Answer(Ask(), title, currentVersion, ownerHandle);
}

void UpdateCheck_CL::StartForWindow(Inifile_CL& ini, HWND window, UINT message)
{
    std::thread([&ini, window, message] {
        const UpdateCheck_CL check(ini, nullptr);
        if (!check.IsDue()) return;
        auto answer = std::make_unique<UpdateAnswer>(check.Ask());
        if (answer->isVersionFile && ::PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(answer.get())))
            answer.release();
    }).detach();
}

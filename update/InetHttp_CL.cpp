#include "update/InetHttp_CL.h"

#include "core/Log_CL.h"

namespace {

void SetTimeouts(HINTERNET handle)
{
    DWORD timeout = InetHttp_CL::kTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(handle, option, &timeout, sizeof(timeout));
}

}  // namespace

void LogInternetError(const wchar_t* call)
{
    const DWORD error = ::GetLastError();
    const HRESULT result = HRESULT_FROM_WIN32(error);
    wchar_t* text = nullptr;
    // WinINet's own errors have their texts in its module, the others in the system.
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                  FORMAT_MESSAGE_MAX_WIDTH_MASK;
    HMODULE wininet = ::GetModuleHandleW(L"wininet.dll");
    if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST && wininet) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    ::FormatMessageW(flags, wininet, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0,
                     nullptr);
    LocalMemory owner(text);
    TheLog().Write(L"%sエラー = 0x%08x : %s", call, static_cast<unsigned>(result), text ? text : L"");
}

HINTERNET InetHttp_CL::Open()
{
    session.Reset(::InternetOpenW(L"Microsoft Internet\x3000" L"Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) LogInternetError(L"InternetOpen()");
    else SetTimeouts(session.Get());
    return session.Get();
}

HINTERNET InetHttp_CL::Connect(const std::wstring& serverName, INTERNET_PORT port)
{
    request.Reset();
    connection.Reset(::InternetConnectW(session.Get(), serverName.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) LogInternetError(L"InternetConnect()");
    else SetTimeouts(connection.Get());
    return connection.Get();
}

int64_t InetHttp_CL::ParseContentLength(const std::wstring& text)
{
    if (text.empty() || text.size() > 18) return -1;
    int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return -1;
        value = value * 10 + (c - L'0');
    }
    return value;
}

int InetHttp_CL::Get(const std::wstring& objectName)
{
    request.Reset(::HttpOpenRequestW(connection.Get(), L"GET", objectName.c_str(), nullptr, nullptr, nullptr,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT, 0));
    if (!request) {
        LogInternetError(L"HttpOpenRequest()");
        return 0;
    }
    // Wine honours time-outs on the request handle only.
    SetTimeouts(request.Get());
    if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) {
        LogInternetError(L"HttpSendRequest()");
        return 0;
    }
    DWORD size = sizeof(statusCode), index = 0;
    ::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode, &size, &index);
    wchar_t length[128] = {};
    size = sizeof(length) - sizeof(wchar_t);
    index = 0;
    contentLength = ::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, &index) ? ParseContentLength(length)
                                                                                                       : -1;
    return 1;
}

int64_t InetHttp_CL::Read(int64_t count, int64_t limit)
{
    body.clear();
    const int64_t wanted = count == -1 ? limit : count;
    if (count < -1 || wanted > limit) return 0;  // more than a version file ever holds
    body.resize(static_cast<size_t>(wanted) + 1, 0);
    int64_t total = 0;
    while (total < wanted && ::GetTickCount64() < deadline) {
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), body.data() + total, static_cast<DWORD>(wanted - total), &got)) {
            body.clear();
            return 0;
        }
        if (got == 0) break;
        total += got;
    }
    body.resize(static_cast<size_t>(total) + 1);
    body[static_cast<size_t>(total)] = 0;
    return total;
}

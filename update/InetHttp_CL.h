#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/UniqueHandle.h"

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { ::InternetCloseHandle(handle); }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

// A minimal HTTP GET over WinINet. Every wait of the exchange is bounded: a server that
// accepts the connection and never answers costs at most a few seconds. Redirects are not
// followed (the status code tells of them).
class InetHttp_CL {
public:
    static constexpr DWORD kTimeoutMs = 2000;

    // The session; null on failure (logged).
    HINTERNET Open();
    // A connection to host:port; null on failure (logged).
    HINTERNET Connect(const std::wstring& serverName, INTERNET_PORT port);
    // Sends the request; 1 with the status code and Content-Length read, 0 on failure (logged).
    int Get(const std::wstring& objectName);
    // After this tick count (GetTickCount64) the body is read no further.
    void SetDeadline(ULONGLONG tick) { deadline = tick; }
    // Reads the body: exactly `count` bytes when count is not -1 (never more than
    // `limit`), else everything up to `limit`. The number of bytes read; a NUL follows them.
    int64_t Read(int64_t count, int64_t limit);

    const std::vector<char>& GetBody() const { return body; }
    int64_t GetContentLength() const { return contentLength; }
    DWORD GetStatusCode() const { return statusCode; }

    // A Content-Length header's text as a number, or -1 when it is none (missing, negative,
    // not a decimal number, or too large to be one).
    static int64_t ParseContentLength(const std::wstring& text);

private:
    InternetHandle session;
    InternetHandle connection;
    InternetHandle request;
    std::vector<char> body;
    int64_t contentLength = -1;
    DWORD statusCode = 0;
    ULONGLONG deadline = ~0ULL;
};

// Writes "<call>エラー = 0x%08x : <the system's text>" for the last error to the log.
void LogInternetError(const wchar_t* call);

#pragma once
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

// A one-response-at-a-time HTTP server on 127.0.0.1 for tests: every request gets the same
// raw response (status line, headers and body as given), or no answer at all.
class LocalHttpServer {
public:
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    unsigned short Port() const { return port; }
    // The whole answer to every request; empty: accept and never answer.
    void SetResponse(const std::string& raw) { response = raw; }
    // An answer with this body and a Content-Length that fits it.
    void SetBody(const std::string& body);
    // Sends the answer one byte every `milliseconds` (0: all at once), from byte `from` on.
    void SetDrip(int milliseconds, size_t from = 0)
    {
        dripMs = milliseconds;
        dripFrom = from;
    }
    int RequestCount() const { return requests; }
    const std::string& LastRequestLine() const { return lastRequestLine; }

private:
    void Serve();
    void Send(SOCKET client);

    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::string response;
    std::string lastRequestLine;
    std::atomic<int> requests{0};
    std::atomic<bool> stopping{false};
    int dripMs = 0;
    size_t dripFrom = 0;
    std::thread worker;
};

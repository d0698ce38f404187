#include "support/LocalHttpServer.h"

#include <ws2tcpip.h>

#include <vector>

LocalHttpServer::LocalHttpServer()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int size = sizeof(address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    ::listen(listener, 8);
    worker = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer()
{
    stopping = true;
    ::closesocket(listener);
    worker.join();
    ::WSACleanup();
}

void LocalHttpServer::SetBody(const std::string& body)
{
    response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
}

void LocalHttpServer::Send(SOCKET client)
{
    for (size_t sent = 0; sent < response.size() && !stopping;) {
        const bool dripping = dripMs > 0 && sent >= dripFrom;
        const size_t chunk = dripping ? 1 : (dripMs > 0 ? dripFrom - sent : response.size() - sent);
        int done = ::send(client, response.data() + sent, static_cast<int>(chunk), 0);
        if (done <= 0) break;
        sent += done;
        // A bounded wait that ends with the server.
        for (int waited = 0; dripping && waited < dripMs && !stopping; waited += 50) ::Sleep(50);
    }
}

void LocalHttpServer::Serve()
{
    std::vector<SOCKET> silent;  // kept open without an answer until the server ends
    while (!stopping) {
        SOCKET client = ::accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            int got = ::recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            request.append(buffer, got);
        }
        lastRequestLine = request.substr(0, request.find("\r\n"));
        ++requests;
        if (response.empty()) {
            silent.push_back(client);
            continue;
        }
        Send(client);
        ::shutdown(client, SD_SEND);
        ::closesocket(client);
    }
    for (SOCKET client : silent) ::closesocket(client);
}

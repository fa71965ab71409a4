#include <winsock2.h>

#include "tests/common/LoopbackHttpServer.h"

#include <stdio.h>
#include <string.h>

#include "host/HostBrowser.h"

namespace {

// How long the server waits for its stop between connections, and for a
// client that has connected to send its request.
const DWORD kStopCheckMilliseconds = 20;
const DWORD kClientTimeoutMilliseconds = 5000;
const size_t kLargestRequest = 16 * 1024;

using CSocket = CUniqueAny<SOCKET, closesocket>;

bool Readable(SOCKET socket, DWORD milliseconds)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// The request's head, up to the blank line that ends it, or what came of it
// in the time a client has.
std::string ReceiveHead(SOCKET connection)
{
    const DWORD start = GetTickCount();
    std::string head;
    char chunk[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kLargestRequest) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kClientTimeoutMilliseconds || !Readable(connection, kClientTimeoutMilliseconds - elapsed))
            break;
        const int received = recv(connection, chunk, sizeof(chunk), 0);
        if (received <= 0)
            break;
        head.append(chunk, static_cast<size_t>(received));
    }
    return head;
}

void SendAll(SOCKET connection, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const int count = send(connection, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (count <= 0)
            return;
        sent += static_cast<size_t>(count);
    }
}

} // namespace

CLoopbackHttpServer::CLoopbackHttpServer(std::map<std::string, std::string> contentTypes)
    : m_contentTypes(std::move(contentTypes))
{
    m_lock.Init();
    WSADATA data;
    m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    if (!m_winsock)
        return;
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (m_listener == INVALID_SOCKET || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ||
        listen(m_listener, SOMAXCONN) || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length))
        return;
    m_port = ntohs(address.sin_port);
    m_thread.Reset(CreateThread(nullptr, 0, Serve, this, 0, nullptr));
}

CLoopbackHttpServer::~CLoopbackHttpServer()
{
    InterlockedExchange(&m_stopping, 1);
    if (m_thread)
        WaitForSingleObject(m_thread.Get(), kClientTimeoutMilliseconds + 1000);
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    if (m_winsock)
        WSACleanup();
}

std::string CLoopbackHttpServer::Url(const std::string& path) const
{
    char url[64];
    snprintf(url, sizeof(url), "http://127.0.0.1:%u", static_cast<unsigned>(m_port));
    return url + path;
}

std::vector<HttpRequest> CLoopbackHttpServer::Requests() const
{
    CCriticalSectionLock held(m_lock);
    return m_requests;
}

DWORD WINAPI CLoopbackHttpServer::Serve(LPVOID parameter)
{
    CLoopbackHttpServer* server = static_cast<CLoopbackHttpServer*>(parameter);
    while (!InterlockedCompareExchange(&server->m_stopping, 0, 0)) {
        if (!Readable(server->m_listener, kStopCheckMilliseconds))
            continue;
        const SOCKET connection = accept(server->m_listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            continue;
        const CSocket held(connection);
        server->Answer(connection);
    }
    return 0;
}

// One request a connection: the answer says so, and the connection closes
// after it.
void CLoopbackHttpServer::Answer(UINT_PTR connection)
{
    const std::string head = ReceiveHead(connection);
    const double arrived = HostClockMilliseconds();
    const size_t methodEnd = head.find(' ');
    const size_t pathEnd = methodEnd == std::string::npos ? methodEnd : head.find(' ', methodEnd + 1);
    if (pathEnd == std::string::npos)
        return;
    HttpRequest request = {head.substr(0, methodEnd), head.substr(methodEnd + 1, pathEnd - methodEnd - 1), arrived};
    {
        CCriticalSectionLock held(m_lock);
        m_requests.push_back(request);
    }
    SendAll(connection, Page(request.path));
    shutdown(connection, SD_SEND);
}

std::string CLoopbackHttpServer::Page(const std::string& path) const
{
    const auto type = m_contentTypes.find(path);
    if (type == m_contentTypes.end())
        return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    char body[96];
    snprintf(body, sizeof(body), "This page has been asked for %u times.\r\n",
             static_cast<unsigned>(RequestCount()));
    char head[256];
    snprintf(head, sizeof(head),
             "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %u\r\nCache-Control: no-store\r\n"
             "Connection: close\r\n\r\n",
             type->second.c_str(), static_cast<unsigned>(strlen(body)));
    return head + std::string(body);
}

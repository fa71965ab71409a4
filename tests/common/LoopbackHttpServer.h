#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "support/CriticalSection.h"
#include "support/Owners.h"

// One request as the server received it.
struct HttpRequest {
    std::string method;
    std::string path;
    double time; // HostClockMilliseconds when its request line was read
};

// An HTTP server on the loopback address for a browser under test, on a
// thread of the test program: it listens once the object is made and has
// stopped when the object goes, whatever the test did meanwhile, so no
// server outlives its test. It answers a GET of each path it knows with a
// short page of that path's content type, not to be cached, and keeps every
// request it received in order.
class CLoopbackHttpServer {
public:
    // Paths and the content type each is served as.
    explicit CLoopbackHttpServer(std::map<std::string, std::string> contentTypes);
    ~CLoopbackHttpServer();
    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

    bool IsListening() const { return m_thread.Get() != nullptr; }
    // http://127.0.0.1:<port><path>
    std::string Url(const std::string& path) const;
    std::vector<HttpRequest> Requests() const;
    size_t RequestCount() const { return Requests().size(); }

private:
    static DWORD WINAPI Serve(LPVOID parameter);
    // Sockets are Winsock's SOCKET, which this header leaves to its file.
    void Answer(UINT_PTR connection);
    std::string Page(const std::string& path) const;

    std::map<std::string, std::string> m_contentTypes;
    bool m_winsock = false;
    UINT_PTR m_listener = ~static_cast<UINT_PTR>(0);
    USHORT m_port = 0;
    volatile LONG m_stopping = 0;
    mutable CSafeCriticalSection m_lock;
    std::vector<HttpRequest> m_requests;
    CUniqueAny<HANDLE, CloseHandle> m_thread;
};

#pragma once
// An HTTP server on 127.0.0.1 for tests of clients: each request gets the reply a test's handler
// makes, written in pieces with pauses (a slow server), not at all (a server that hangs), or as
// raw bytes (a malformed one). Every connection is closed after one reply.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zyn::test {

class LocalHttpServer {
public:
    struct Request {
        std::string method;
        std::string target; // path and query
        std::vector<std::pair<std::string, std::string>> headers;
        std::int64_t receivedNs = 0; // CLOCK_MONOTONIC when the request was read
        // The value of a header (case-insensitive name), or empty.
        [[nodiscard]] std::string Header(std::string_view name) const;
    };

    struct Reply {
        std::vector<std::string> pieces; // written in order, `pauseMs` apart
        int pauseMs = 0;
        bool hang = false; // read the request, answer nothing until the server stops
    };
    // A complete answer: status line, Content-Length, Connection: close, the extra header lines
    // ("Name: value\r\n" each) and the body.
    static Reply Answer(int status, const std::string& body, const std::string& extraHeaders = {},
                        const std::string& contentType = "text/plain; version=0.0.4");
    // Status 200 with `body` compressed by gzip and Content-Encoding: gzip.
    static Reply Gzipped(const std::string& body,
                         const std::string& contentType = "text/plain; version=0.0.4");

    using Handler = std::function<Reply(const Request&)>;

    // Listens on 127.0.0.1 (or `address`) at a free port.
    explicit LocalHttpServer(Handler handler, const char* address = "127.0.0.1");
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] std::string Url(const std::string& path = "/") const;
    [[nodiscard]] int RequestCount() const { return m_requests.load(); }
    [[nodiscard]] std::vector<Request> Requests() const;

private:
    void Accept();
    void Serve(int fd);

    Handler m_handler;
    std::string m_address;
    int m_listen = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_requests{0};
    mutable std::mutex m_lock;
    std::vector<Request> m_log;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};

// A free TCP port on 127.0.0.1 at the moment of asking.
int FreeLocalPort();

} // namespace zyn::test

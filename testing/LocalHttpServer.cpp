#include "testing/LocalHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace zyn::test {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

std::string LocalHttpServer::Request::Header(std::string_view name) const {
    for (const auto& [k, v] : headers)
        if (EqualsNoCase(k, name)) return v;
    return {};
}

LocalHttpServer::Reply LocalHttpServer::Answer(int status, const std::string& body,
                                               const std::string& extraHeaders,
                                               const std::string& contentType) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    if (!contentType.empty()) head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders +
            "\r\n";
    Reply r;
    r.pieces = {head + body};
    return r;
}

LocalHttpServer::Reply LocalHttpServer::Gzipped(const std::string& body, const std::string& contentType) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, body.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return Answer(200, out, "Content-Encoding: gzip\r\n", contentType);
}

LocalHttpServer::LocalHttpServer(Handler handler, const char* address)
    : m_handler(std::move(handler)), m_address(address) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = 0;
    ::inet_pton(AF_INET, address, &sa.sin_addr);
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(m_listen, 64) != 0)
        throw std::runtime_error("LocalHttpServer: cannot listen");
    socklen_t len = sizeof sa;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) throw std::runtime_error("LocalHttpServer: no pipe");
    m_acceptor = std::thread([this] { Accept(); });
}

LocalHttpServer::~LocalHttpServer() {
    m_stopping = true;
    (void)!::write(m_stopPipe[1], "x", 1);
    m_acceptor.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(m_lock);
        connections.swap(m_connections);
    }
    for (std::thread& t : connections)
        t.join();
    ::close(m_listen);
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

std::string LocalHttpServer::Url(const std::string& path) const {
    return "http://" + m_address + ":" + std::to_string(m_port) + path;
}

std::vector<LocalHttpServer::Request> LocalHttpServer::Requests() const {
    std::lock_guard lock(m_lock);
    return m_log;
}

void LocalHttpServer::Accept() {
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(m_lock);
        m_connections.emplace_back([this, fd] { Serve(fd); });
    }
}

void LocalHttpServer::Serve(int fd) {
    // Waits `ms` (or until the server stops); false when it stops.
    auto pause = [this](int ms) {
        pollfd p{m_stopPipe[0], POLLIN, 0};
        return ::poll(&p, 1, ms) == 0 && !m_stopping;
    };
    std::string data;
    char buf[4096];
    // Anything but a request line (a TLS handshake, say) gets 400 at once, as real servers answer.
    const auto looksLikeHttp = [&] { return data.empty() || (data[0] >= 'A' && data[0] <= 'Z'); };
    while (data.find("\r\n\r\n") == std::string::npos && data.size() < (1u << 20) && looksLikeHttp()) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, 5000) <= 0 || fds[1].revents) break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    Request request;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    request.receivedNs = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    const auto headEnd = data.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
        std::string_view head(data.data(), headEnd);
        const auto lineEnd = head.find("\r\n");
        const std::string_view first = head.substr(0, lineEnd);
        const auto sp1 = first.find(' ');
        const auto sp2 = first.find(' ', sp1 + 1);
        request.method = std::string(first.substr(0, sp1));
        request.target = std::string(first.substr(sp1 + 1, sp2 - sp1 - 1));
        head.remove_prefix(lineEnd == std::string_view::npos ? head.size() : lineEnd + 2);
        while (!head.empty()) {
            const auto end = head.find("\r\n");
            const std::string_view line = head.substr(0, end);
            const auto colon = line.find(':');
            if (colon != std::string_view::npos) {
                std::string_view value = line.substr(colon + 1);
                while (value.starts_with(' '))
                    value.remove_prefix(1);
                request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
            }
            head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
        }
        {
            std::lock_guard lock(m_lock);
            m_log.push_back(request);
        }
        ++m_requests;
        const Reply reply = m_handler(request);
        if (reply.hang) {
            while (pause(100)) {
            }
        } else {
            for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
                if (i > 0 && reply.pauseMs > 0 && !pause(reply.pauseMs)) break;
                if (!WriteAll(fd, reply.pieces[i])) break;
            }
        }
    }
    if (!looksLikeHttp()) (void)WriteAll(fd, "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return 0;
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

} // namespace zyn::test

#pragma once
// HTTP(S) GET for the remote counters and the history import. Every transfer of the process runs on
// one background thread (libcurl's multi interface), so transfers to many hosts overlap and a host
// that hangs delays only its own answer. Each transfer has a time limit and a size limit on the
// decoded body; TLS is checked against the system's certificate store; gzip is accepted; redirects
// are followed only within the same host and never from https to http; credentials go only to the
// origin they were given for and are never part of a URL.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zyn::net {

struct Credentials {
    std::string bearerToken; // sent as "Authorization: Bearer …" when set
    std::string user;        // basic authentication when set (and no token)
    std::string password;
    [[nodiscard]] bool Empty() const { return bearerToken.empty() && user.empty(); }
};

enum class HttpFailure : std::uint8_t {
    None,        // an answer came; its status may still be an error
    BadUrl,      // not an http(s) URL, or one that carries credentials
    Unreachable, // name not found, connection refused or reset, nothing answered
    TimedOut,    // no complete answer within the time limit
    TooLarge,    // the decoded body passed the size limit
    Tls,         // the secure connection failed (certificate, handshake)
    Redirect,    // redirected to another host, from https to http, or too often
    Protocol,    // a malformed answer (headers, compression)
    Cancelled,
};

struct HttpRequest {
    std::string url;
    std::string accept;               // the Accept header; empty sends none
    std::size_t maxBytes = 16u << 20; // the decoded body may not be larger
    int timeoutMs = 10000;            // the whole exchange, redirects included
    Credentials credentials;
};

struct HttpResponse {
    HttpFailure failure = HttpFailure::None;
    long status = 0; // the HTTP status of the final answer
    std::string body;
    std::string contentType;
    std::string error; // what went wrong, in words a user can act on (empty on success)
    // CLOCK_MONOTONIC nanoseconds: the request went out, the answer began, the exchange ended.
    std::int64_t startNs = 0;
    std::int64_t firstByteNs = 0;
    std::int64_t endNs = 0;

    [[nodiscard]] bool Ok() const { return failure == HttpFailure::None && status == 200; }
};

using HttpHandle = std::uint64_t;
using HttpCallback = std::function<void(HttpResponse&&)>;

// Starts a GET no earlier than `notBeforeNs` (CLOCK_MONOTONIC; 0 or past: at once). `done` runs
// exactly once, on the transfer thread, also when the transfer is cancelled: it must be quick and
// must not wait for another transfer.
HttpHandle SubmitGet(HttpRequest request, std::int64_t notBeforeNs, HttpCallback done);
// Ends a transfer that has not finished; its callback gets HttpFailure::Cancelled.
void CancelGet(HttpHandle handle);

// Blocking forms: one transfer, or several at once (answers in the order of the requests).
[[nodiscard]] HttpResponse Get(const HttpRequest& request);
[[nodiscard]] std::vector<HttpResponse> GetAll(const std::vector<HttpRequest>& requests);

// The failure, or a status other than 200, in words ("127.0.0.1:9100 answered 404 Not Found").
[[nodiscard]] std::string DescribeFailure(const HttpResponse& response, std::string_view what);

[[nodiscard]] std::int64_t MonotonicNs();

// The parts of an http(s) URL. False when it is not one, or carries a user name or password.
struct UrlParts {
    bool https = false;
    std::string host; // as written, IPv6 literals without brackets
    int port = 0;     // the scheme's default when the URL names none
    std::string path; // with the query, if any
};
[[nodiscard]] bool ParseHttpUrl(std::string_view url, UrlParts& out);
// `host:port` as settings keys and messages write it (IPv6 literals in brackets).
[[nodiscard]] std::string HostPort(std::string_view host, int port);
// Percent-encodes everything but the unreserved characters of RFC 3986.
[[nodiscard]] std::string UrlEncode(std::string_view text);

} // namespace zyn::net

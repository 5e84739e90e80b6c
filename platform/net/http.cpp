#include "http.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unordered_map>

namespace zyn::net {

std::int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

namespace {

constexpr int kMaxRedirects = 5;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A part of a parsed URL, or empty when it has none.
std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
}

struct CurlUrl {
    CURLU* p = curl_url();
    ~CurlUrl() { curl_url_cleanup(p); }
    CurlUrl() = default;
    CurlUrl(const CurlUrl&) = delete;
    CurlUrl& operator=(const CurlUrl&) = delete;
};

struct Transfer {
    HttpHandle id = 0;
    HttpRequest request;
    HttpCallback done;
    std::int64_t notBeforeNs = 0;
    std::int64_t deadlineNs = 0; // set when the first attempt starts
    UrlParts origin;             // of the URL first asked for
    std::string url;             // of the current attempt
    bool sendCredentials = true;
    int redirects = 0;
    bool tooLarge = false;
    std::int64_t attemptStartNs = 0;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    HttpResponse response;
    char errorText[CURL_ERROR_SIZE] = {};

    ~Transfer() { Release(); }
    void Release() {
        if (easy) curl_easy_cleanup(easy);
        easy = nullptr;
        if (headers) curl_slist_free_all(headers);
        headers = nullptr;
    }
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (t->response.body.size() + n > t->request.maxBytes) {
        t->tooLarge = true;
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    }
    t->response.body.append(data, n);
    return n;
}

std::string Describe(const Transfer& t, std::string_view detail) {
    std::string text = HostPort(t.origin.host, t.origin.port);
    if (!detail.empty()) text += ": " + std::string(detail);
    return text;
}

// Every transfer of the process: a queue of transfers not yet due and the multi handle of the
// running ones, served by one thread.
class CEngine {
public:
    CEngine() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        m_multi = curl_multi_init();
        m_thread = std::thread([this] { Run(); });
    }
    ~CEngine() {
        {
            std::lock_guard lock(m_lock);
            m_stop = true;
        }
        curl_multi_wakeup(m_multi);
        m_thread.join();
        // What was left is dropped without its callback: nothing waits for it at exit.
        for (auto& [easy, t] : m_active)
            curl_multi_remove_handle(m_multi, easy);
        m_active.clear();
        m_pending.clear();
        curl_multi_cleanup(m_multi);
    }
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    HttpHandle Submit(HttpRequest request, std::int64_t notBeforeNs, HttpCallback done) {
        auto t = std::make_unique<Transfer>();
        t->id = m_nextId.fetch_add(1);
        t->request = std::move(request);
        t->done = std::move(done);
        t->notBeforeNs = notBeforeNs;
        const HttpHandle id = t->id;
        {
            std::lock_guard lock(m_lock);
            m_pending.push_back(std::move(t));
        }
        curl_multi_wakeup(m_multi);
        return id;
    }

    void Cancel(HttpHandle id) {
        std::unique_ptr<Transfer> waiting;
        {
            std::lock_guard lock(m_lock);
            const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                         [&](const std::unique_ptr<Transfer>& t) { return t->id == id; });
            if (it != m_pending.end()) {
                waiting = std::move(*it);
                m_pending.erase(it);
            } else {
                m_cancelled.push_back(id);
            }
        }
        if (waiting) {
            Fail(*waiting, HttpFailure::Cancelled, "cancelled");
            Finish(std::move(waiting));
            return;
        }
        curl_multi_wakeup(m_multi);
    }

    [[nodiscard]] bool OnEngineThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void Run() {
        pthread_setname_np(pthread_self(), "zyn-http");
        for (;;) {
            std::vector<std::unique_ptr<Transfer>> due;
            std::vector<HttpHandle> cancelled;
            std::int64_t nextDueNs = INT64_MAX;
            {
                std::lock_guard lock(m_lock);
                if (m_stop) return;
                const std::int64_t now = MonotonicNs();
                for (auto it = m_pending.begin(); it != m_pending.end();) {
                    if ((*it)->notBeforeNs <= now) {
                        due.push_back(std::move(*it));
                        it = m_pending.erase(it);
                    } else {
                        nextDueNs = std::min(nextDueNs, (*it)->notBeforeNs);
                        ++it;
                    }
                }
                cancelled.swap(m_cancelled);
            }
            for (HttpHandle id : cancelled)
                CancelActive(id);
            for (auto& t : due)
                Start(std::move(t));
            int running = 0;
            curl_multi_perform(m_multi, &running);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
                if (msg->msg == CURLMSG_DONE) Completed(msg->easy_handle, msg->data.result);
            }
            long curlWaitMs = -1;
            curl_multi_timeout(m_multi, &curlWaitMs);
            long waitMs = curlWaitMs < 0 ? 1000 : std::min(curlWaitMs, 1000L);
            if (nextDueNs != INT64_MAX) {
                const std::int64_t untilDue = (nextDueNs - MonotonicNs() + 999'999) / 1'000'000;
                waitMs =
                    std::clamp<long>(static_cast<long>(std::min<std::int64_t>(untilDue, waitMs)), 0, waitMs);
            }
            if (waitMs > 0) curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
        }
    }

    void Start(std::unique_ptr<Transfer> t) {
        const std::int64_t now = MonotonicNs();
        if (t->deadlineNs == 0) {
            t->response.startNs = now;
            t->deadlineNs = now + static_cast<std::int64_t>(std::max(t->request.timeoutMs, 1)) * 1'000'000;
            t->url = t->request.url;
            if (!ParseHttpUrl(t->url, t->origin)) {
                Fail(*t, HttpFailure::BadUrl,
                     "not an http:// or https:// address (user names and passwords belong in the settings)");
                return Finish(std::move(t));
            }
        }
        const std::int64_t remainingMs = (t->deadlineNs - now) / 1'000'000;
        if (remainingMs <= 0) return TimedOut(std::move(t));

        t->Release();
        t->response.body.clear();
        t->tooLarge = false;
        t->errorText[0] = '\0';
        t->attemptStartNs = now;
        CURL* e = curl_easy_init();
        if (!e) {
            Fail(*t, HttpFailure::Unreachable, "out of memory");
            return Finish(std::move(t));
        }
        t->easy = e;
        curl_easy_setopt(e, CURLOPT_URL, t->url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L); // each hop is checked here
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip");
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(remainingMs));
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(remainingMs));
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t->request.maxBytes));
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorText);
        curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
        curl_easy_setopt(e, CURLOPT_USERAGENT, "Tallon");
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!t->request.accept.empty())
            t->headers = curl_slist_append(t->headers, ("Accept: " + t->request.accept).c_str());
        const Credentials& c = t->request.credentials;
        if (t->sendCredentials && !c.bearerToken.empty()) {
            t->headers = curl_slist_append(t->headers, ("Authorization: Bearer " + c.bearerToken).c_str());
        } else if (t->sendCredentials && !c.user.empty()) {
            curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            curl_easy_setopt(e, CURLOPT_USERNAME, c.user.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, c.password.c_str());
        }
        if (t->headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
        if (curl_multi_add_handle(m_multi, e) != CURLM_OK) {
            Fail(*t, HttpFailure::Unreachable, "cannot start the transfer");
            return Finish(std::move(t));
        }
        m_active.emplace(e, std::move(t));
    }

    void Completed(CURL* easy, CURLcode code) {
        curl_multi_remove_handle(m_multi, easy);
        const auto it = m_active.find(easy);
        if (it == m_active.end()) return;
        std::unique_ptr<Transfer> t = std::move(it->second);
        m_active.erase(it);

        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_off_t firstByteUs = 0;
        curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &firstByteUs);
        const char* type = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
        t->response.status = status;
        t->response.contentType = type ? type : "";
        t->response.firstByteNs = t->attemptStartNs + static_cast<std::int64_t>(firstByteUs) * 1000;

        if (code == CURLE_OK && status >= 300 && status < 400) {
            const char* location = nullptr;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
            if (location && *location) return Redirect(std::move(t), location);
        }
        if (code != CURLE_OK) Classify(*t, code);
        Finish(std::move(t));
    }

    // Follows a redirect that stays on the same host and does not fall back from https to http.
    // Credentials go along only to the same origin, or to https on the same host.
    void Redirect(std::unique_ptr<Transfer> t, const std::string& location) {
        UrlParts next;
        if (!ParseHttpUrl(location, next)) {
            Fail(*t, HttpFailure::Redirect, "redirected to an address that is not http(s): refused");
            return Finish(std::move(t));
        }
        if (!EqualsNoCase(next.host, t->origin.host)) {
            Fail(*t, HttpFailure::Redirect,
                 "redirected to another host (" + next.host + "); redirects to other hosts are refused");
            return Finish(std::move(t));
        }
        if (t->origin.https && !next.https) {
            Fail(*t, HttpFailure::Redirect, "redirected from https to plain http: refused");
            return Finish(std::move(t));
        }
        if (++t->redirects > kMaxRedirects) {
            Fail(*t, HttpFailure::Redirect, "redirected too often");
            return Finish(std::move(t));
        }
        const bool sameOrigin = next.https == t->origin.https && next.port == t->origin.port;
        const bool upgrade = next.https && !t->origin.https;
        t->sendCredentials = t->sendCredentials && (sameOrigin || upgrade);
        t->url = location;
        Start(std::move(t));
    }

    void Classify(Transfer& t, CURLcode code) {
        const std::string detail = t.errorText[0] ? std::string(t.errorText) : curl_easy_strerror(code);
        switch (code) {
        case CURLE_WRITE_ERROR:
        case CURLE_FILESIZE_EXCEEDED:
            if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
                Fail(t, HttpFailure::TooLarge,
                     "the answer is larger than " + std::to_string(t.request.maxBytes) + " bytes");
                return;
            }
            break;
        case CURLE_OPERATION_TIMEDOUT:
            Fail(t, HttpFailure::TimedOut,
                 "no complete answer within " + std::to_string(t.request.timeoutMs) + " ms");
            return;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            Fail(t, HttpFailure::Unreachable, detail);
            return;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            Fail(t, HttpFailure::Tls, "the secure connection failed: " + detail);
            return;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            Fail(t, HttpFailure::BadUrl, detail);
            return;
        default:
            break;
        }
        Fail(t, HttpFailure::Protocol, detail);
    }

    void TimedOut(std::unique_ptr<Transfer> t) {
        Fail(*t, HttpFailure::TimedOut,
             "no complete answer within " + std::to_string(t->request.timeoutMs) + " ms");
        Finish(std::move(t));
    }

    static void Fail(Transfer& t, HttpFailure failure, std::string_view detail) {
        t.response.failure = failure;
        t.response.error = Describe(t, detail);
        t.response.body.clear();
    }

    void CancelActive(HttpHandle id) {
        for (auto it = m_active.begin(); it != m_active.end(); ++it) {
            if (it->second->id != id) continue;
            curl_multi_remove_handle(m_multi, it->first);
            std::unique_ptr<Transfer> t = std::move(it->second);
            m_active.erase(it);
            Fail(*t, HttpFailure::Cancelled, "cancelled");
            Finish(std::move(t));
            return;
        }
    }

    static void Finish(std::unique_ptr<Transfer> t) {
        t->Release();
        t->response.endNs = MonotonicNs();
        if (t->response.firstByteNs == 0) t->response.firstByteNs = t->response.endNs;
        HttpCallback done = std::move(t->done);
        HttpResponse response = std::move(t->response);
        t.reset();
        if (done) done(std::move(response));
    }

    std::mutex m_lock;
    std::vector<std::unique_ptr<Transfer>> m_pending;              // not due yet (guarded)
    std::vector<HttpHandle> m_cancelled;                           // running ones to end (guarded)
    bool m_stop = false;                                           // guarded
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> m_active; // the engine thread's own
    std::atomic<HttpHandle> m_nextId{1};
    CURLM* m_multi = nullptr;
    std::thread m_thread;
};

CEngine& Engine() {
    static CEngine engine;
    return engine;
}

} // namespace

HttpHandle SubmitGet(HttpRequest request, std::int64_t notBeforeNs, HttpCallback done) {
    return Engine().Submit(std::move(request), notBeforeNs, std::move(done));
}

void CancelGet(HttpHandle handle) {
    Engine().Cancel(handle);
}

std::vector<HttpResponse> GetAll(const std::vector<HttpRequest>& requests) {
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        std::size_t left = 0;
        std::vector<HttpResponse> responses;
    };
    auto shared = std::make_shared<Shared>();
    shared->left = requests.size();
    shared->responses.resize(requests.size());
    if (Engine().OnEngineThread()) {
        // A callback waiting for a transfer would wait for itself.
        for (HttpResponse& r : shared->responses) {
            r.failure = HttpFailure::Protocol;
            r.error = "a transfer cannot wait for another one";
        }
        return std::move(shared->responses);
    }
    for (std::size_t i = 0; i < requests.size(); ++i) {
        SubmitGet(requests[i], 0, [shared, i](HttpResponse&& r) {
            std::lock_guard lock(shared->lock);
            shared->responses[i] = std::move(r);
            if (--shared->left == 0) shared->done.notify_all();
        });
    }
    std::unique_lock lock(shared->lock);
    shared->done.wait(lock, [&] { return shared->left == 0; });
    return std::move(shared->responses);
}

HttpResponse Get(const HttpRequest& request) {
    return std::move(GetAll({request}).front());
}

std::string DescribeFailure(const HttpResponse& response, std::string_view what) {
    std::string prefix = what.empty() ? std::string() : std::string(what) + ": ";
    if (response.failure != HttpFailure::None) return prefix + response.error;
    if (response.status == 200) return {};
    std::string reason;
    switch (response.status) {
    case 401:
        reason = " (the server wants credentials: set them for this host in the settings)";
        break;
    case 403:
        reason = " (the credentials were refused)";
        break;
    case 404:
        reason = " (nothing at this address)";
        break;
    default:
        break;
    }
    return prefix + "the server answered with status " + std::to_string(response.status) + reason;
}

bool ParseHttpUrl(std::string_view url, UrlParts& out) {
    out = UrlParts{};
    if (url.empty() || url.size() > 8192 || url.find('\0') != std::string_view::npos) return false;
    CurlUrl u;
    if (!u.p || curl_url_set(u.p, CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) return false;
    const std::string scheme = UrlPart(u.p, CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https") return false;
    if (!UrlPart(u.p, CURLUPART_USER).empty() || !UrlPart(u.p, CURLUPART_PASSWORD).empty()) return false;
    out.https = scheme == "https";
    out.host = UrlPart(u.p, CURLUPART_HOST);
    if (out.host.size() > 2 && out.host.front() == '[' && out.host.back() == ']')
        out.host = out.host.substr(1, out.host.size() - 2);
    if (out.host.empty()) return false;
    const std::string port = UrlPart(u.p, CURLUPART_PORT, CURLU_DEFAULT_PORT);
    out.port = port.empty() ? (out.https ? 443 : 80) : std::atoi(port.c_str());
    out.path = UrlPart(u.p, CURLUPART_PATH);
    const std::string query = UrlPart(u.p, CURLUPART_QUERY);
    if (!query.empty()) out.path += "?" + query;
    return out.port > 0 && out.port <= 65535;
}

std::string HostPort(std::string_view host, int port) {
    const bool v6 = host.find(':') != std::string_view::npos;
    std::string text = v6 ? "[" + std::string(host) + "]" : std::string(host);
    return text + ":" + std::to_string(port);
}

std::string UrlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (alnum || c == '-' || c == '_' || c == '.' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace zyn::net

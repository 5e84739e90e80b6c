#pragma once
// The real Debian `prometheus-node-exporter` and `prometheus`, run on free local ports for the tests
// and benchmarks of remote counters and history import. Start says why when a program is not
// installed or does not come up, so that a test can skip with that reason; every process started
// here ends with its owner (and with the test process, should that die first).

#include <sys/types.h>

#include <string>
#include <vector>

namespace zyn::test {

class ExporterProcess {
public:
    ExporterProcess() = default;
    ~ExporterProcess();
    ExporterProcess(const ExporterProcess&) = delete;
    ExporterProcess& operator=(const ExporterProcess&) = delete;

    // Starts it on `port` (0: a free one) with `extraArgs` and waits until /metrics answers.
    // Starting again after Stop uses the same port and arguments unless given others.
    bool Start(int port = 0, const std::vector<std::string>& extraArgs = {});
    void Stop();
    // Stops the process without closing its socket: connections are accepted, nothing answers.
    void Pause();
    void Resume();

    [[nodiscard]] int Port() const { return m_port; }
    // As counter paths name it: "127.0.0.1:PORT".
    [[nodiscard]] std::string Machine() const;
    [[nodiscard]] const std::string& Why() const { return m_why; }
    [[nodiscard]] bool Running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::vector<std::string> m_args;
    bool m_paused = false;
    std::string m_why;
};

class PrometheusProcess {
public:
    PrometheusProcess() = default;
    ~PrometheusProcess();
    PrometheusProcess(const PrometheusProcess&) = delete;
    PrometheusProcess& operator=(const PrometheusProcess&) = delete;

    // Starts a server with a fresh store in a temporary folder, scraping `targets` ("host:port")
    // as job "node" every `scrapeIntervalSeconds`, and waits until it is ready.
    bool Start(const std::vector<std::string>& targets, int scrapeIntervalSeconds = 1);
    void Stop();

    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] std::string Url() const;
    [[nodiscard]] const std::string& Why() const { return m_why; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_folder;
    std::string m_why;
};

// The status and body of a plain GET of http://127.0.0.1:port/path (no TLS, no redirects); status 0
// when nothing answered within `timeoutMs`.
int LocalGet(int port, const std::string& path, std::string* body = nullptr, int timeoutMs = 2000);

} // namespace zyn::test

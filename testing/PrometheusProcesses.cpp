#include "testing/PrometheusProcesses.h"

#include "testing/LocalHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zyn::test {
namespace {

constexpr const char* kExporter = "/usr/bin/prometheus-node-exporter";
constexpr const char* kPrometheus = "/usr/bin/prometheus";

// Starts `program` with `args`, its output to `log` (or nowhere); the child dies with this process.
pid_t Launch(const char* program, const std::vector<std::string>& args, const std::string& log) {
    std::vector<std::string> owned = args;
    owned.insert(owned.begin(), program);
    std::vector<char*> argv;
    argv.reserve(owned.size() + 1);
    for (std::string& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int out = open(log.empty() ? "/dev/null" : log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
    }
    execv(program, argv.data());
    _exit(127);
}

void Kill(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool Exited(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

} // namespace

int LocalGet(int port, const std::string& path, std::string* body, int timeoutMs) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return 0;
    }
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    (void)!send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string data;
    char buf[8192];
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    if (!data.starts_with("HTTP/")) return 0;
    const int status = std::atoi(data.c_str() + data.find(' ') + 1);
    if (body) {
        const auto head = data.find("\r\n\r\n");
        *body = head == std::string::npos ? std::string() : data.substr(head + 4);
    }
    return status;
}

ExporterProcess::~ExporterProcess() {
    Stop();
}

bool ExporterProcess::Start(int port, const std::vector<std::string>& extraArgs) {
    Stop();
    if (access(kExporter, X_OK) != 0) {
        m_why =
            std::string(kExporter) + " is not installed (scripts/setup.sh installs prometheus-node-exporter)";
        return false;
    }
    if (port == 0 && m_port == 0) port = FreeLocalPort();
    if (port != 0) m_port = port;
    if (!extraArgs.empty()) m_args = extraArgs;
    std::vector<std::string> args = {"--web.listen-address=127.0.0.1:" + std::to_string(m_port)};
    args.insert(args.end(), m_args.begin(), m_args.end());
    m_pid = Launch(kExporter, args, {});
    for (int i = 0; i < 200; ++i) {
        if (LocalGet(m_port, "/metrics", nullptr, 1000) == 200) return true;
        if (Exited(m_pid)) {
            m_pid = -1;
            m_why = "prometheus-node-exporter did not start on port " + std::to_string(m_port);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    m_why = "prometheus-node-exporter did not answer on port " + std::to_string(m_port);
    return false;
}

void ExporterProcess::Stop() {
    Kill(m_pid);
    m_paused = false;
}

void ExporterProcess::Pause() {
    if (m_pid > 0 && kill(m_pid, SIGSTOP) == 0) m_paused = true;
}

void ExporterProcess::Resume() {
    if (m_pid > 0 && kill(m_pid, SIGCONT) == 0) m_paused = false;
}

std::string ExporterProcess::Machine() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

PrometheusProcess::~PrometheusProcess() {
    Stop();
}

bool PrometheusProcess::Start(const std::vector<std::string>& targets, int scrapeIntervalSeconds) {
    Stop();
    if (access(kPrometheus, X_OK) != 0) {
        m_why = std::string(kPrometheus) + " is not installed (scripts/setup.sh installs prometheus)";
        return false;
    }
    char folder[] = "/tmp/zyn-prometheus-XXXXXX";
    if (!mkdtemp(folder)) {
        m_why = "no temporary folder";
        return false;
    }
    m_folder = folder;
    {
        std::ofstream config(m_folder + "/prometheus.yml");
        config << "global:\n  scrape_interval: " << scrapeIntervalSeconds
               << "s\n  evaluation_interval: " << scrapeIntervalSeconds
               << "s\nscrape_configs:\n  - job_name: node\n    static_configs:\n"
               << "      - targets: [";
        for (std::size_t i = 0; i < targets.size(); ++i)
            config << (i ? ", " : "") << "'" << targets[i] << "'";
        config << "]\n";
    }
    m_port = FreeLocalPort();
    m_pid =
        Launch(kPrometheus,
               {"--config.file=" + m_folder + "/prometheus.yml", "--storage.tsdb.path=" + m_folder + "/data",
                "--web.listen-address=127.0.0.1:" + std::to_string(m_port)},
               m_folder + "/log");
    for (int i = 0; i < 600; ++i) {
        if (LocalGet(m_port, "/-/ready", nullptr, 1000) == 200) return true;
        if (Exited(m_pid)) {
            m_pid = -1;
            m_why = "prometheus did not start (see " + m_folder + "/log)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    m_why = "prometheus was not ready within a minute";
    Stop();
    return false;
}

void PrometheusProcess::Stop() {
    Kill(m_pid);
    if (!m_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        m_folder.clear();
    }
}

std::string PrometheusProcess::Url() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

} // namespace zyn::test

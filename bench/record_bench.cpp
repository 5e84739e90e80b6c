// Recording cost side by side with sysstat's collector: a chart of 50 counters sampling every
// second on its own thread, and /usr/lib/sysstat/sadc taking one record per second, both running at
// the same time for the same number of seconds. Each runs in a child process of its own; the CPU
// (user + system) each spent is divided by the counter values it stored, and the ratio printed.
//
//   record_bench [SECONDS]      10 by default; 60 for the full comparison
//
// The chart's CPU is taken from just before it starts running to just after it stops, so adding
// the counters (which validates each path) is left out; sadc is measured whole, start-up included,
// which favours it slightly. sadc's values per record are counted from `sadf -p` (one line per
// value); its file holds one record more than sadf shows intervals.

#include "objlib/ZynChart.h"
#include "pdh/pdh.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCounters = 50;
const char* const kSadc = "/usr/lib/sysstat/sadc";

double CpuMicros(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec);
}

// Every counter of the everyday objects, their totals where they have instances, in catalogue
// order until there are 50: processor, memory, system (the process count included), disks,
// network.
std::vector<std::u16string> ChosenPaths() {
    struct Object {
        const char16_t* name;
        const char16_t* instance;
    };
    const Object objects[] = {{u"Processor", u"_Total"},
                              {u"Memory", nullptr},
                              {u"System", nullptr},
                              {u"PhysicalDisk", u"_Total"},
                              {u"Network Interface", u"lo"}};
    std::vector<std::u16string> paths;
    for (const Object& o : objects) {
        for (const auto& c : zyn::pdh::ListCounters(o.name, PERF_DETAIL_WIZARD)) {
            if (static_cast<int>(paths.size()) == kCounters) return paths;
            std::u16string path = u"\\" + std::u16string(o.name);
            if (o.instance) path += u"(" + std::u16string(o.instance) + u")";
            paths.push_back(path + u"\\" + c.name);
        }
    }
    return paths;
}

// The child that records: writes "<cpu µs> <values> <channels>" to `out`.
[[noreturn]] void RecordChart(int seconds, int out) {
    auto chart = CZynChart::Create();
    int channels = 0;
    for (const auto& path : ChosenPaths()) {
        CComPtr<IZynChannel> c;
        if (SUCCEEDED(chart->AddChannel(CComBSTR(path.c_str()), &c)) && c) ++channels;
    }
    chart->put_Rate(1000);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    chart->put_Run(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 - 500));
    chart->put_Run(0);
    getrusage(RUSAGE_SELF, &after);
    long values = 0;
    CComPtr<IZynChannelIter> iter;
    if (SUCCEEDED(chart->get_Channels(&iter)) && iter) {
        for (;;) {
            CComPtr<IZynChannel> channel;
            if (iter->GetNext(&channel) != S_OK || !channel) break;
            LONG count = 0;
            channel->get_DataCount(&count);
            values += count;
        }
    }
    const std::string line = std::to_string(CpuMicros(after) - CpuMicros(before)) + " " +
                             std::to_string(values) + " " + std::to_string(channels) + "\n";
    (void)!write(out, line.data(), line.size());
    _exit(0);
}

// sadf -p prints one line per value of every interval between two records.
long SadfLines(const std::string& file) {
    const std::string command = "sadf -p " + file + " -- -A 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    long lines = 0;
    for (int ch = 0; (ch = std::fgetc(pipe)) != EOF;)
        lines += ch == '\n';
    pclose(pipe);
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 10;
    if (access(kSadc, X_OK) != 0) {
        std::printf("record_bench: %s is missing (Debian package sysstat); nothing to compare with\n", kSadc);
        return 0;
    }
    char dir[] = "/tmp/record_bench.XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string saFile = std::string(dir) + "/sa";

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    std::fflush(stdout);
    const pid_t recorder = fork();
    if (recorder == 0) {
        close(pipeFds[0]);
        RecordChart(seconds, pipeFds[1]);
    }
    close(pipeFds[1]);
    const pid_t sadc = fork();
    if (sadc == 0) {
        const std::string count = std::to_string(seconds);
        execl(kSadc, "sadc", "1", count.c_str(), saFile.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    rusage sadcUsage{}, recorderUsage{};
    int status = 0;
    wait4(sadc, &status, 0, &sadcUsage);
    const bool sadcOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::string reply;
    char buffer[256];
    for (ssize_t n = 0; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    wait4(recorder, &status, 0, &recorderUsage);

    double chartCpu = 0;
    long chartValues = 0;
    int channels = 0;
    if (std::sscanf(reply.c_str(), "%lf %ld %d", &chartCpu, &chartValues, &channels) != 3 ||
        chartValues <= 0) {
        std::printf("record_bench: the recording child failed\n");
        return 1;
    }
    const long sadfLines = sadcOk ? SadfLines(saFile) : -1;
    std::remove(saFile.c_str());
    rmdir(dir);
    if (sadfLines <= 0) {
        std::printf("record_bench: sadc or sadf failed\n");
        return 1;
    }
    const long intervals = seconds - 1;
    const double perRecord = static_cast<double>(sadfLines) / static_cast<double>(intervals);
    const double sadcValues = perRecord * seconds;
    const double sadcCpu = CpuMicros(sadcUsage);

    const double ours = chartCpu / static_cast<double>(chartValues);
    const double theirs = sadcCpu / sadcValues;
    std::printf("record_bench: %d s at 1 s, side by side\n", seconds);
    std::printf("  chart, %d counters:  %9.0f us CPU, %7ld values  %7.3f us/value\n", channels, chartCpu,
                chartValues, ours);
    std::printf("  sadc, %4.0f per record: %9.0f us CPU, %7.0f values  %7.3f us/value\n", perRecord, sadcCpu,
                sadcValues, theirs);
    std::printf("  ratio chart/sadc per value %6.2fx  (target <= 1x)\n", ours / theirs);
    std::printf("  per record: chart %.0f us, sadc %.0f us\n",
                chartCpu / (static_cast<double>(chartValues) / std::max(1, channels)), sadcCpu / seconds);
    return 0;
}

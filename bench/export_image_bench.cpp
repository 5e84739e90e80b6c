// A small export from start to exit: `Tallon --export-image` of a tiny chart (two channels, 60
// samples, given as comma-separated text) against gnuplot's png terminal drawing the same file at
// the same size, each started as a new process, alternately, REPEATS times (15 by default).
// Prints the wall and CPU time of each (min and median) and the ratio of the medians.
//
//   export_image_bench [REPEATS]
//
// gnuplot is not a build dependency: without it the benchmark times Tallon alone and says so.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef TALLON_EXECUTABLE
#error TALLON_EXECUTABLE must name the program
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Run {
    double wallMs = 0;
    double cpuMs = 0;
    bool ok = false;
};

// Starts argv[0] (looked up in PATH) with its output discarded and waits for it.
Run Time(const std::vector<std::string>& argv, const fs::path& dir) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), 1);
            dup2(fileno(null), 2);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    Run run;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    run.cpuMs = (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec)) /
                1000.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Series {
    std::vector<double> wall, cpu;
    void Add(const Run& r) {
        wall.push_back(r.wallMs);
        cpu.push_back(r.cpuMs);
    }
    void Print(const char* name) const {
        std::printf("  %-26s wall min %7.1f ms  median %7.1f ms   CPU min %7.1f ms  median %7.1f ms\n", name,
                    *std::min_element(wall.begin(), wall.end()), Median(wall),
                    *std::min_element(cpu.begin(), cpu.end()), Median(cpu));
    }
};

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    char dirTemplate[] = "/tmp/export_image_bench.XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const fs::path dir = dirTemplate;
    {
        std::ofstream csv(dir / "tiny.csv");
        csv << "Time,CPU,Memory\n";
        char line[128];
        for (int i = 0; i < 60; ++i) {
            std::snprintf(line, sizeof line, "2026-12-08 13:00:%02d.000,%.3f,%.3f\n", i,
                          50 + 40 * std::sin(i / 6.0), 30 + 10 * std::cos(i / 9.0));
            csv << line;
        }
        std::ofstream gp(dir / "tiny.gp");
        gp << "set terminal png size 640,480\n"
              "set output 'gnuplot.png'\n"
              "set datafile separator ','\n"
              "set xdata time\n"
              "set timefmt '%Y-%m-%d %H:%M:%S'\n"
              "plot 'tiny.csv' using 1:2 with lines title 'CPU', '' using 1:3 with lines title 'Memory'\n";
    }
    // The program's own settings store and runtime folder, as a first start on a new account.
    setenv("ZYN_REGISTRY_DIR", (dir / "settings").c_str(), 1);
    fs::create_directories(dir / "runtime");
    fs::permissions(dir / "runtime", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");

    const std::vector<std::string> tallon = {TALLON_EXECUTABLE, "--export-image", "tiny.csv",
                                             "tallon.png",      "--size",         "640x480"};
    const std::vector<std::string> gnuplot = {"gnuplot", "tiny.gp"};
    const bool haveGnuplot = OnPath("gnuplot");
    // One start of each first, untimed: both then run from a warm page cache.
    if (!Time(tallon, dir).ok) {
        std::printf("export_image_bench: %s --export-image failed\n", TALLON_EXECUTABLE);
        return 1;
    }
    if (haveGnuplot && !Time(gnuplot, dir).ok) {
        std::printf("export_image_bench: gnuplot failed\n");
        return 1;
    }
    Series ours, theirs;
    for (int i = 0; i < repeats; ++i) {
        ours.Add(Time(tallon, dir));
        if (haveGnuplot) theirs.Add(Time(gnuplot, dir));
    }
    std::printf("export_image_bench: a 640x480 PNG of 2 channels x 60 samples, %d starts each\n", repeats);
    ours.Print("Tallon --export-image");
    if (haveGnuplot) {
        theirs.Print("gnuplot png terminal");
        std::printf("  ratio Tallon/gnuplot, median wall %5.2fx  (target <= 1x), median CPU %5.2fx\n",
                    Median(ours.wall) / Median(theirs.wall), Median(ours.cpu) / Median(theirs.cpu));
    } else {
        std::printf("  gnuplot is not installed (Debian package gnuplot-nox): no ratio\n");
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}

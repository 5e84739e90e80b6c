// The programs as a hostile user and a failing machine meet them: outputs that are devices, FIFOs,
// links and files with modes and other names; the output named the same as the input; a full
// disk; inputs that are not regular files; damaged, read-only and busy settings stores; chart files
// damaged part-way; sub-second samples; long and non-UTF-8 names. Each runs Tallon (or zynscript)
// as a user does and judges only what a user sees: the exit code, the messages and the files.
// Whatever needs a privilege the machine may not grant (a mount namespace, a device node, a
// tmpfs) runs in a sandbox and is skipped, with the reason, where the machine forbids it.

#include "ChartFixtures.h"

#include "testing/MountSandbox.h"
#include "testing/RunProgram.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <thread>

namespace {

namespace fx = zyn::test::fixtures;
namespace fs = std::filesystem;
using zyn::test::ProgramOptions;
using zyn::test::ProgramRun;

// Names of the entries of a folder, as bytes.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int CountLines(const std::string& text) {
    return int(std::count(text.begin(), text.end(), '\n'));
}

class RobustnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zyn-robust-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        m_dir = pattern;
        m_chart = Path("chart.tlon");
        ASSERT_TRUE(fx::WriteBytes(m_chart, fx::ChartFileOf(fx::EvenChart(2, 20, 1000))));
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }

    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    ProgramOptions Options() const {
        ProgramOptions o;
        o.environment = {"ZYN_REGISTRY_DIR=" + m_store.Path(), "QT_QPA_PLATFORM=offscreen", "LC_ALL=C.UTF-8",
                         "TZ=UTC"};
        o.timeoutMs = 60000;
        return o;
    }
    ProgramRun Tallon(const std::vector<std::string>& args, const ProgramOptions& options) const {
        std::vector<std::string> argv{TALLON_EXECUTABLE};
        argv.insert(argv.end(), args.begin(), args.end());
        return zyn::test::RunProgram(argv, options);
    }
    ProgramRun Tallon(const std::vector<std::string>& args) const { return Tallon(args, Options()); }

    // The CSV the default chart gives: a header and 20 lines.
    static bool LooksLikeTheCsv(const std::string& text) {
        return text.rfind("Time,Channel A,Channel B\r\n", 0) == 0 && CountLines(text) == 21;
    }
    // Files the saver may have left beside its targets: anything but what the test put there.
    std::vector<std::string> Strays(const std::vector<std::string>& expected) const {
        std::vector<std::string> strays;
        for (const auto& e : Entries(m_dir))
            if (std::find(expected.begin(), expected.end(), e) == expected.end()) strays.push_back(e);
        return strays;
    }

    zyn::test::TempSettingsStore m_store;
    std::string m_dir;
    std::string m_chart;
};

// ---- outputs that are not plain new files ----

TEST_F(RobustnessTest, ExportWritesThroughADeviceNodeAndLeavesItADevice) {
    const std::string devices = Path("devices");
    ASSERT_EQ(::mkdir(devices.c_str(), 0755), 0);
    const auto result = zyn::test::RunInMountSandbox([&](zyn::test::MountSandbox& box) -> std::string {
        if (!box.MountTmpfs(devices, 1 << 20)) return box.Skip("cannot mount a tmpfs");
        const std::string node = devices + "/null";
        // A node of our own where the machine allows one, else the machine's own bound over a file.
        if (!box.realRoot || !box.MakeCharDevice(node, 1, 3)) {
            if (!fx::WriteBytes(node, {}) || !box.Bind("/dev/null", node))
                return box.Skip("cannot make or bind a device node");
        }
        for (const char* mode : {"--export-csv", "--export-image"}) {
            const ProgramRun run = Tallon({mode, m_chart, node});
            if (run.exitCode != 0) return std::string(mode) + " to a device: " + run.Describe();
            struct stat st {};
            if (::lstat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
                return std::string(mode) + " replaced the device node with another kind of file";
            if (Entries(devices).size() != 1)
                return "files left beside the node: " + Joined(Entries(devices));
        }
        return {};
    });
    if (!result.skipped.empty()) GTEST_SKIP() << result.skipped;
    EXPECT_EQ(result.failure, "");
}

TEST_F(RobustnessTest, ExportToDevStdoutReachesTheCaller) {
    // /dev/stdout is the machine's own: a saver that replaces it breaks the machine, so the run
    // gets a /dev of its own (with the same links) wherever it may; an ordinary user cannot
    // replace it and runs without.
    auto check = [&]() -> std::string {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return "no pipe";
        ProgramOptions options = Options();
        options.stdoutFd = pipeFds[1];
        std::string received;
        std::thread reader([&] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
                received.append(buffer, std::size_t(n));
        });
        const ProgramRun run = Tallon({"--export-csv", m_chart, "/dev/stdout"}, options);
        ::close(pipeFds[1]);
        reader.join();
        ::close(pipeFds[0]);
        if (run.exitCode != 0) return "export to /dev/stdout: " + run.Describe();
        if (!LooksLikeTheCsv(received)) return "the pipe received: " + received.substr(0, 200);
        struct stat st {};
        if (::lstat("/dev/stdout", &st) != 0 || !S_ISLNK(st.st_mode))
            return "/dev/stdout is no longer a link";
        return {};
    };
    const auto result = zyn::test::RunInMountSandbox([&](zyn::test::MountSandbox& box) -> std::string {
        const std::string dev = Path("dev");
        if (::mkdir(dev.c_str(), 0755) != 0 || !box.MountTmpfs(dev, 1 << 20)) return box.Skip("no tmpfs");
        for (const char* node : {"null", "zero", "full", "random", "urandom", "tty"}) {
            const std::string place = dev + "/" + node;
            if (!fx::WriteBytes(place, {}) || !box.Bind(std::string("/dev/") + node, place))
                ::unlink(place.c_str());
        }
        if (::symlink("/proc/self/fd", (dev + "/fd").c_str()) != 0 ||
            ::symlink("/proc/self/fd/0", (dev + "/stdin").c_str()) != 0 ||
            ::symlink("/proc/self/fd/1", (dev + "/stdout").c_str()) != 0 ||
            ::symlink("/proc/self/fd/2", (dev + "/stderr").c_str()) != 0)
            return "cannot make the links of /dev";
        if (!box.Bind(dev, "/dev")) return box.Skip("cannot cover /dev");
        return check();
    });
    if (result.skipped.empty()) {
        EXPECT_EQ(result.failure, "");
        return;
    }
    if (::geteuid() == 0) GTEST_SKIP() << "as root without a /dev of its own: " << result.skipped;
    EXPECT_EQ(check(), "");
}

TEST_F(RobustnessTest, ExportWritesThroughALinkToADescriptor) {
    // A link into /proc/self/fd names whatever the program's standard output is: here a file the
    // caller opened, which must receive the text and stay the file the caller holds.
    const std::string link = Path("to-stdout.csv");
    ASSERT_EQ(::symlink("/proc/self/fd/1", link.c_str()), 0);
    const std::string held = Path("held.txt");
    const int fd = ::open(held.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ProgramOptions options = Options();
    options.stdoutFd = fd;
    const ProgramRun run = Tallon({"--export-csv", m_chart, link}, options);
    ::close(fd);
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced";
    const auto text = fx::ReadBytes(held);
    EXPECT_TRUE(LooksLikeTheCsv(std::string(text.begin(), text.end())));
}

TEST_F(RobustnessTest, ExportWritesThroughAFifoThatHasAReader) {
    const std::string fifo = Path("out.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // The reader is there before the program starts and reads until the program has ended and
    // everything it wrote is read; a program that never opens the FIFO just leaves it empty.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> finished{false};
    std::string received;
    std::thread reader([&] {
        for (;;) {
            const bool last = finished;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 20);
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
                received.append(buffer, std::size_t(n));
            if (last) break;
            if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10)); // no writer now
        }
    });
    const ProgramRun run = Tallon({"--export-csv", m_chart, fifo});
    finished = true;
    reader.join();
    ::close(fd);
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_TRUE(LooksLikeTheCsv(received)) << received.substr(0, 200);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
    EXPECT_EQ(Strays({"chart.tlon", "out.fifo"}), std::vector<std::string>());
}

TEST_F(RobustnessTest, OutputToAFifoWithoutAReaderFailsAtOnce) {
    const std::string fifo = Path("out.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const char* mode : {"--export-image", "--export-csv"}) {
        ProgramOptions options = Options();
        options.timeoutMs = 20000;
        const ProgramRun run = Tallon({mode, m_chart, fifo}, options);
        EXPECT_FALSE(run.timedOut) << mode << " waits for a reader that never comes";
        EXPECT_EQ(run.exitCode, 1) << mode << ": " << run.Describe();
        EXPECT_TRUE(Contains(run.err, "out.fifo")) << run.err;
        struct stat st {};
        ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
}

TEST_F(RobustnessTest, ExportFollowsSymbolicLinksToTheRealFile) {
    ASSERT_EQ(::mkdir(Path("real").c_str(), 0755), 0);
    ASSERT_TRUE(fx::WriteBytes(Path("real/target.csv"), {'o', 'l', 'd'}));
    ASSERT_EQ(::symlink("real/target.csv", Path("link.csv").c_str()), 0);
    // A chain of links, and a link whose file does not exist yet.
    ASSERT_EQ(::symlink("link.csv", Path("link2.csv").c_str()), 0);
    ASSERT_EQ(::symlink("real/new.csv", Path("dangling.csv").c_str()), 0);

    for (const char* name : {"link2.csv", "dangling.csv"}) {
        const ProgramRun run = Tallon({"--export-csv", m_chart, Path(name)});
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.Describe();
        struct stat st {};
        ASSERT_EQ(::lstat(Path(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name << " was replaced by a file";
    }
    const auto target = fx::ReadBytes(Path("real/target.csv"));
    EXPECT_TRUE(LooksLikeTheCsv(std::string(target.begin(), target.end())));
    const auto created = fx::ReadBytes(Path("real/new.csv"));
    EXPECT_TRUE(LooksLikeTheCsv(std::string(created.begin(), created.end())));

    // A report, too, is written through the link.
    ASSERT_EQ(::symlink("real/report.txt", Path("report.txt").c_str()), 0);
    const ProgramRun report = Tallon({"--export-report", m_chart, Path("report.txt")});
    ASSERT_EQ(report.exitCode, 0) << report.Describe();
    struct stat st {};
    ASSERT_EQ(::lstat(Path("report.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the report replaced the link";
    EXPECT_GT(fx::ReadBytes(Path("real/report.txt")).size(), 0u);
    EXPECT_EQ(Entries(Path("real")), (std::vector<std::string>{"new.csv", "report.txt", "target.csv"}));
}

TEST_F(RobustnessTest, ExportKeepsTheModeAndOwnerOfTheFileItReplaces) {
    struct Case {
        const char* name;
        mode_t mode;
    };
    for (const Case c : {Case{"secret.csv", 0600}, Case{"shared.png", 0664}, Case{"odd.csv", 0604},
                         Case{"report.pdf", 0600}, Case{"report.txt", 0640}}) {
        const std::string out = Path(c.name);
        ASSERT_TRUE(fx::WriteBytes(out, {'o', 'l', 'd'}));
        ASSERT_EQ(::chmod(out.c_str(), c.mode), 0);
        // Root may hand a file to someone else: the new one must stay theirs.
        const bool giveAway = ::geteuid() == 0 && ::chown(out.c_str(), 4321, 4321) == 0;
        const char* mode = Contains(c.name, ".png")   ? "--export-image"
                           : Contains(c.name, ".csv") ? "--export-csv"
                                                      : "--export-report";
        const ProgramRun run = Tallon({mode, m_chart, out});
        ASSERT_EQ(run.exitCode, 0) << run.Describe();
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
        if (giveAway) {
            EXPECT_EQ(st.st_uid, 4321u) << c.name;
            EXPECT_EQ(st.st_gid, 4321u) << c.name;
        }
        EXPECT_GT(st.st_size, 3) << c.name;
    }
}

TEST_F(RobustnessTest, NewFilesTakeTheCallersUmask) {
    for (const mode_t mask : {mode_t(022), mode_t(077), mode_t(002)}) {
        ProgramOptions options = Options();
        options.inChild = [mask] {
            ::umask(mask);
            return true;
        };
        const std::string out = Path("new-" + std::to_string(mask) + ".csv");
        const ProgramRun run = Tallon({"--export-csv", m_chart, out}, options);
        ASSERT_EQ(run.exitCode, 0) << run.Describe();
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << mask;
    }
}

TEST_F(RobustnessTest, ExportSaysWhenAHardLinkedFileIsSplit) {
    const std::string out = Path("out.csv"), other = Path("other-name.csv");
    ASSERT_TRUE(fx::WriteBytes(out, {'o', 'l', 'd'}));
    ASSERT_EQ(::link(out.c_str(), other.c_str()), 0);
    const ProgramRun run = Tallon({"--export-csv", m_chart, out});
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_TRUE(Contains(Lower(run.err), "link")) << "nothing said about the split: " << run.err;
    EXPECT_TRUE(Contains(run.err, "out.csv")) << run.err;
    const auto written = fx::ReadBytes(out);
    EXPECT_TRUE(LooksLikeTheCsv(std::string(written.begin(), written.end())));
    EXPECT_EQ(fx::ReadBytes(other), (fx::Bytes{'o', 'l', 'd'}));
}

// ---- the output is the input ----

TEST_F(RobustnessTest, AnOutputThatIsTheInputIsRefused) {
    const fx::Bytes original = fx::ReadBytes(m_chart);
    ASSERT_EQ(::link(m_chart.c_str(), Path("hard.csv").c_str()), 0);
    ASSERT_EQ(::symlink("chart.tlon", Path("soft.csv").c_str()), 0);
    ASSERT_EQ(::symlink("chart.tlon", Path("soft.txt").c_str()), 0);
    const std::vector<std::vector<std::string>> runs = {
        {"--export-csv", m_chart, m_chart},
        {"--export-image", m_chart, m_chart},
        {"--export-csv", m_chart, Path("hard.csv")},
        {"--export-csv", m_chart, Path("soft.csv")},
        {"--export-csv", Path("soft.csv"), Path("./chart.tlon")},
        {"--export-report", m_chart, Path("soft.txt")},
    };
    for (const auto& args : runs) {
        const ProgramRun run = Tallon(args);
        EXPECT_EQ(run.exitCode, 1) << args[1] << " -> " << args[2] << ": " << run.Describe();
        EXPECT_TRUE(Contains(Lower(run.err), "same file")) << run.err;
        ASSERT_EQ(fx::ReadBytes(m_chart), original) << "the chart was overwritten by " << args[2];
    }
}

// ---- a full disk ----

TEST_F(RobustnessTest, ImageExportThatCannotBeWrittenKeepsTheOldImage) {
    // A file size limit fails writes past it exactly as a full disk does, with no privilege.
    const std::string out = Path("chart.png");
    ASSERT_EQ(Tallon({"--export-image", m_chart, out, "--size", "40x30"}).exitCode, 0);
    const fx::Bytes old = fx::ReadBytes(out);
    ASSERT_GT(old.size(), 0u);
    ASSERT_LT(old.size(), 4096u);
    ProgramOptions options = Options();
    options.inChild = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    };
    const ProgramRun run = Tallon({"--export-image", m_chart, out, "--size", "1600x1000"}, options);
    EXPECT_EQ(run.exitCode, 1) << run.Describe();
    EXPECT_TRUE(Contains(run.err, "chart.png")) << run.err;
    EXPECT_TRUE(Contains(run.err, std::strerror(EFBIG))) << run.err;
    EXPECT_EQ(fx::ReadBytes(out), old) << "the old image was destroyed";
    EXPECT_EQ(Strays({"chart.tlon", "chart.png"}), std::vector<std::string>());
}

TEST_F(RobustnessTest, ExportsOnAFullFileSystemKeepTheOldFiles) {
    const std::string disk = Path("disk");
    ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
    const auto result = zyn::test::RunInMountSandbox([&](zyn::test::MountSandbox& box) -> std::string {
        if (!box.MountTmpfs(disk, 256UL * 1024)) return box.Skip("cannot mount a small tmpfs");
        const fx::Bytes oldPng{0x89, 'P', 'N', 'G', 'o', 'l', 'd'}, oldCsv{'o', 'l', 'd'};
        if (!fx::WriteBytes(disk + "/chart.png", oldPng) || !fx::WriteBytes(disk + "/chart.csv", oldCsv))
            return "cannot write the old files";
        // Fill the disk to the last byte.
        const int fill = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        std::vector<char> block(4096, 'x');
        while (::write(fill, block.data(), block.size()) > 0) {
        }
        while (::write(fill, block.data(), 1) > 0) {
        }
        ::close(fill);
        const std::vector<std::vector<std::string>> runs = {
            {"--export-image", m_chart, disk + "/chart.png"},
            {"--export-csv", m_chart, disk + "/chart.csv"},
        };
        for (const auto& args : runs) {
            const ProgramRun run = Tallon(args);
            if (run.exitCode != 1) return args[0] + " on a full disk: " + run.Describe();
            if (!Contains(run.err, args[2]) || !Contains(run.err, std::strerror(ENOSPC)))
                return args[0] + " did not name the file and the reason: " + run.err;
        }
        if (fx::ReadBytes(disk + "/chart.png") != oldPng) return "the old image was destroyed";
        if (fx::ReadBytes(disk + "/chart.csv") != oldCsv) return "the old CSV was destroyed";
        if (Entries(disk) != std::vector<std::string>{"chart.csv", "chart.png", "filler"})
            return "left on the disk: " + Joined(Entries(disk));
        return {};
    });
    if (!result.skipped.empty()) GTEST_SKIP() << result.skipped;
    EXPECT_EQ(result.failure, "");
}

// ---- inputs that are not regular files ----

TEST_F(RobustnessTest, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
    const std::string fifo = Path("in.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(Path("folder.tlon").c_str(), 0755), 0);
    for (const std::string& input : {fifo, Path("folder.tlon"), std::string("/dev/zero")}) {
        for (const char* mode : {"--export-csv", "--export-image"}) {
            ProgramOptions options = Options();
            options.timeoutMs = 20000;
            const ProgramRun run = Tallon({mode, input, Path("out.file")}, options);
            EXPECT_FALSE(run.timedOut) << mode << " " << input << " blocks";
            EXPECT_EQ(run.exitCode, 1) << mode << " " << input << ": " << run.Describe();
            EXPECT_TRUE(Contains(run.err, input)) << run.err;
            EXPECT_TRUE(Contains(Lower(run.err), "not a regular file")) << run.err;
        }
    }
    EXPECT_FALSE(fs::exists(Path("out.file")));
}

// ---- the settings store ----

TEST_F(RobustnessTest, DamagedSettingsDatabasesAreMovedAsideAndTheProgramsGoOn) {
    const std::string garbage(std::size_t(64) * 1024, '\xA5');
    const fx::Bytes junk(garbage.begin(), garbage.end());
    for (const char* hive : {"classes.db", "user.db", "machine.db"})
        ASSERT_TRUE(fx::WriteBytes(m_store.Path() + "/" + hive, junk));
    ProgramOptions options = Options();
    options.timeoutMs = 90000;
    const ProgramRun run = Tallon({"--export-csv", m_chart, Path("out.csv")}, options);
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_LT(run.seconds, 20.0) << "the damaged store held the program up";
    EXPECT_TRUE(Contains(run.err, m_store.Path() + "/classes.db"))
        << "the damaged file is not named: " << run.err;
    // Each damaged file is kept beside the fresh one, and said once.
    int kept = 0;
    for (const auto& name : Entries(m_store.Path())) {
        if (name.rfind("classes.db.damaged-", 0) != 0) continue;
        ++kept;
        EXPECT_EQ(fx::ReadBytes(m_store.Path() + "/" + name), junk);
    }
    EXPECT_EQ(kept, 1) << Joined(Entries(m_store.Path()));
    int lines = 0;
    for (std::size_t from = 0, end; (end = run.err.find('\n', from)) != std::string::npos; from = end + 1)
        lines += Contains(run.err.substr(from, end - from), "classes.db") ? 1 : 0;
    EXPECT_EQ(lines, 1) << "said more than once: " << run.err;
    const auto csv = fx::ReadBytes(Path("out.csv"));
    EXPECT_TRUE(LooksLikeTheCsv(std::string(csv.begin(), csv.end())));

    // The script host too, with its own damaged store.
    const zyn::test::TempSettingsStore scriptStore;
    ASSERT_TRUE(fx::WriteBytes(scriptStore.Path() + "/classes.db", junk));
    const std::string script = Path("make.js");
    const std::string text =
        "var c = WScript.CreateObject('ZynTallonObj.Chart'); WScript.Echo(c.ChannelCount);\n";
    ASSERT_TRUE(fx::WriteBytes(script, fx::Bytes(text.begin(), text.end())));
    ProgramOptions scriptOptions = options;
    scriptOptions.environment[0] = "ZYN_REGISTRY_DIR=" + scriptStore.Path();
    const ProgramRun scriptRun = zyn::test::RunProgram({ZYNSCRIPT_EXECUTABLE, script}, scriptOptions);
    ASSERT_EQ(scriptRun.exitCode, 0) << scriptRun.Describe();
    EXPECT_LT(scriptRun.seconds, 20.0);
    EXPECT_EQ(scriptRun.out, "0\n");
    EXPECT_TRUE(Contains(scriptRun.err, scriptStore.Path() + "/classes.db")) << scriptRun.err;
}

TEST_F(RobustnessTest, AReadOnlySettingsStoreIsUsedReadOnly) {
    // A first run registers the object library; the store then becomes read-only.
    ASSERT_EQ(Tallon({"--export-csv", m_chart, Path("first.csv")}).exitCode, 0);
    const std::string store = m_store.Path();
    auto check = [&]() -> std::string {
        const ProgramRun run = Tallon({"--export-csv", m_chart, Path("second.csv")});
        if (run.exitCode != 0) return "export with a read-only store: " + run.Describe();
        if (run.seconds > 20.0) return "the read-only store held the program up";
        const auto csv = fx::ReadBytes(Path("second.csv"));
        if (!LooksLikeTheCsv(std::string(csv.begin(), csv.end()))) return "no CSV";
        return {};
    };
    if (::geteuid() != 0) {
        for (const auto& name : Entries(store))
            ASSERT_EQ(::chmod((store + '/').append(name).c_str(), 0444), 0);
        ASSERT_EQ(::chmod(store.c_str(), 0555), 0);
        EXPECT_EQ(check(), "");
        return;
    }
    // Permissions do not hold root back: a read-only mount does.
    const auto result = zyn::test::RunInMountSandbox([&](zyn::test::MountSandbox& box) -> std::string {
        if (!box.Bind(store, store) ||
            ::mount(nullptr, store.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return box.Skip("cannot mount the store read-only");
        return check();
    });
    if (!result.skipped.empty()) GTEST_SKIP() << result.skipped;
    EXPECT_EQ(result.failure, "");
}

// ---- chart files damaged part-way ----

TEST_F(RobustnessTest, AChartFileReadOnlyInPartFailsTheExport) {
    fx::Bytes records = fx::ChartRecord(fx::EvenChart(2, 20, 1000));
    // Cut inside the second channel's values: the first channel loads, the second only in part.
    records.resize(records.size() - 4 - 2 - 80);
    const std::string partial = Path("partial.tlon");
    ASSERT_TRUE(fx::WriteBytes(partial, fx::ChartFile(fx::Pack(records))));
    for (const char* mode : {"--export-csv", "--export-image"}) {
        const ProgramRun run = Tallon({mode, partial, Path("out.file")});
        EXPECT_EQ(run.exitCode, 1) << mode << ": " << run.Describe();
        EXPECT_TRUE(Contains(run.err, "partial.tlon")) << run.err;
        EXPECT_TRUE(Contains(Lower(run.err), "in part")) << run.err;
    }
}

TEST_F(RobustnessTest, AChartWhoseTimesAreNotDatesIsMalformed) {
    for (const double start : {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -1e12}) {
        fx::ChartRecipe chart = fx::EvenChart(1, 5, 1000);
        chart.start = start;
        const std::string file = Path("bad-start.tlon");
        ASSERT_TRUE(fx::WriteBytes(file, fx::ChartFileOf(chart)));
        const ProgramRun run = Tallon({"--export-csv", file, Path("out.csv")});
        EXPECT_EQ(run.exitCode, 1) << start << ": " << run.Describe();
        EXPECT_TRUE(Contains(run.err, "bad-start.tlon")) << run.err;
        EXPECT_FALSE(fs::exists(Path("out.csv"))) << start;
    }
}

// ---- sub-second samples ----

TEST_F(RobustnessTest, CsvExportNamesSamplesThatShareASecondAndKeepsThemWithMilliseconds) {
    const std::string fast = Path("fast.tlon");
    ASSERT_TRUE(fx::WriteBytes(fast, fx::ChartFileOf(fx::EvenChart(1, 50, 200))));
    const ProgramRun plain = Tallon({"--export-csv", fast, Path("plain.csv")});
    ASSERT_EQ(plain.exitCode, 0) << plain.Describe();
    EXPECT_TRUE(Contains(plain.err, "--csv-ms")) << "nothing said about the shared seconds: " << plain.err;
    const auto plainText = fx::ReadBytes(Path("plain.csv"));
    EXPECT_EQ(CountLines(std::string(plainText.begin(), plainText.end())), 51);

    const ProgramRun ms = Tallon({"--export-csv", fast, Path("ms.csv"), "--csv-ms"});
    ASSERT_EQ(ms.exitCode, 0) << ms.Describe();
    EXPECT_FALSE(Contains(ms.err, "--csv-ms")) << ms.err;
    const auto bytes = fx::ReadBytes(Path("ms.csv"));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(CountLines(text), 51);
    EXPECT_TRUE(Contains(text, "12:00:00.200,1.000000\r\n")) << text.substr(0, 300);
    EXPECT_TRUE(Contains(text, "12:00:09.800,49.000000\r\n")) << text.substr(0, 300);

    // A chart a second apart shares nothing and says nothing.
    const ProgramRun even = Tallon({"--export-csv", m_chart, Path("even.csv")});
    ASSERT_EQ(even.exitCode, 0);
    EXPECT_FALSE(Contains(even.err, "--csv-ms")) << even.err;
}

// ---- names ----

TEST_F(RobustnessTest, OutputNamesUpToTheLongestAFolderTakesAreWritten) {
    for (const std::size_t length :
         {std::size_t(200), std::size_t(249), std::size_t(252), std::size_t(255)}) {
        const std::string name = std::string(length - 4, 'n') + ".csv";
        const ProgramRun run = Tallon({"--export-csv", m_chart, Path(name)});
        ASSERT_EQ(run.exitCode, 0) << length << ": " << run.Describe();
        const auto text = fx::ReadBytes(Path(name));
        EXPECT_TRUE(LooksLikeTheCsv(std::string(text.begin(), text.end()))) << length;
        ASSERT_EQ(Tallon({"--export-csv", m_chart, Path(name)}).exitCode, 0) << "replacing, " << length;
    }
    EXPECT_EQ(Entries(m_dir).size(), 5u) << Joined(Entries(m_dir));
}

TEST_F(RobustnessTest, NamesThatAreNotUtf8PassThroughAsBytes) {
    const std::string input = Path("chart-\xff\xfe.tlon"), output = Path("out-\xe9\x80.csv");
    ASSERT_EQ(::rename(m_chart.c_str(), input.c_str()), 0);
    const ProgramRun run = Tallon({"--export-csv", input, output});
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(Entries(m_dir), (std::vector<std::string>{"chart-\xff\xfe.tlon", "out-\xe9\x80.csv"}));
    const auto text = fx::ReadBytes(output);
    EXPECT_TRUE(LooksLikeTheCsv(std::string(text.begin(), text.end())));
    EXPECT_EQ(Tallon({"--export-image", input, Path("pic-\xff.png")}).exitCode, 0);
    EXPECT_TRUE(fs::exists(Path("pic-\xff.png")));
}

TEST_F(RobustnessTest, ExportFailuresSayWhatWentWrong) {
    const ProgramRun missing = Tallon({"--export-csv", m_chart, Path("missing/out.csv")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Contains(missing.err, std::strerror(ENOENT))) << missing.err;
    EXPECT_FALSE(Contains(missing.err, "without samples")) << missing.err;

    ASSERT_EQ(::mkdir(Path("taken.csv").c_str(), 0755), 0);
    const ProgramRun folder = Tallon({"--export-csv", m_chart, Path("taken.csv")});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_TRUE(Contains(Lower(folder.err), "directory")) << folder.err;
    EXPECT_FALSE(Contains(folder.err, "without samples")) << folder.err;

    fx::ChartRecipe empty;
    empty.channels.push_back({u"Nothing", {}});
    ASSERT_TRUE(fx::WriteBytes(Path("empty.tlon"), fx::ChartFileOf(empty)));
    const ProgramRun none = Tallon({"--export-csv", Path("empty.tlon"), Path("empty.csv")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(Contains(Lower(none.err), "no samples")) << none.err;
    EXPECT_FALSE(fs::exists(Path("empty.csv")));
}

} // namespace

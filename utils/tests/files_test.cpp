#include "utils/ZynFiles.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

// Every call of umask in the process comes here first, so a test can see that a save never makes
// one: a save that changes the mask for a moment gives files other threads create meanwhile the
// wrong mode.
static std::atomic<int> g_umaskCalls{0};
extern "C" mode_t umask(mode_t mask) {
    ++g_umaskCalls;
    static auto real = reinterpret_cast<mode_t (*)(mode_t)>(::dlsym(RTLD_NEXT, "umask"));
    return real(mask);
}

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class SafeSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zyn-files-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static Bytes Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Save(const std::string& path, const Bytes& bytes, std::string* error = nullptr,
                     std::vector<std::string>* notes = nullptr) {
        return ZynSaveFile(path, bytes, error, notes);
    }

    std::string m_dir;
};

TEST_F(SafeSaveTest, NeverTouchesTheProcessUmask) {
    const int before = g_umaskCalls;
    ASSERT_TRUE(Save(Path("new.bin"), {1, 2, 3}));
    ASSERT_TRUE(Save(Path("new.bin"), {4, 5}));
    EXPECT_EQ(g_umaskCalls - before, 0);
    // The umask still decides a new file's mode, as for any create.
    const mode_t old = ::umask(027);
    ASSERT_TRUE(Save(Path("masked.bin"), {1}));
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(Path("masked.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(SafeSaveTest, ReplacesKeepingModeAndSaysWhenHardLinksSplit) {
    const std::string path = Path("data.bin");
    ASSERT_TRUE(Save(path, {1, 2, 3}));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(::link(path.c_str(), Path("alias.bin").c_str()), 0);
    std::vector<std::string> notes;
    ASSERT_TRUE(Save(path, {9}, nullptr, &notes));
    EXPECT_EQ(Read(path), Bytes{9});
    EXPECT_EQ(Read(Path("alias.bin")), (Bytes{1, 2, 3}));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("hard link"), std::string::npos) << notes[0];
    // Split now: the next save has nothing to say.
    ASSERT_TRUE(Save(path, {8}, nullptr, &notes));
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(Entries(), (std::vector<std::string>{"alias.bin", "data.bin"}));
}

TEST_F(SafeSaveTest, TemporaryNamesStayShortForTheLongestTargetNames) {
    for (std::size_t length : {std::size_t(1), std::size_t(248), std::size_t(249), std::size_t(255)}) {
        const std::string name(length, 'x');
        EXPECT_LE(ZynSaveTempPrefix(name).size() + 6, 50u);
        std::string error;
        ASSERT_TRUE(Save(Path(name), {1}, &error)) << length << ": " << error;
        ASSERT_TRUE(Save(Path(name), {2}, &error)) << length << ": " << error;
        EXPECT_EQ(Read(Path(name)), Bytes{2});
    }
    // A name cut in the middle of a character keeps whole characters.
    const std::string wide = std::string(23, 'a') + "\xc3\xa9" + "tail";
    EXPECT_EQ(ZynSaveTempPrefix(wide).substr(0, 2 + 23 + 1), ".~" + std::string(23, 'a') + ".");
}

TEST_F(SafeSaveTest, TheNextSaveRemovesWhatAKilledSaveLeftButNotWhatALiveSaveHolds) {
    const std::string target = Path("chart.tlon");
    const std::string prefix = ZynSaveTempPrefix("chart.tlon");
    // Two left by killed saves, one of another target, one held by a save still running.
    for (const char* suffix : {"aaaaaa", "bbbbbb"})
        std::ofstream(Path(prefix + suffix)) << "left";
    std::ofstream(Path(ZynSaveTempPrefix("other.tlon") + "cccccc")) << "other";
    const std::string live = Path(prefix + "dddddd");
    const int held = ::open(live.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    ASSERT_TRUE(Save(target, {7}));
    EXPECT_EQ(Entries(), (std::vector<std::string>{
                             prefix + "dddddd", ZynSaveTempPrefix("other.tlon") + "cccccc", "chart.tlon"}));
    ::close(held);
    ASSERT_TRUE(Save(target, {8}));
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{ZynSaveTempPrefix("other.tlon") + "cccccc", "chart.tlon"}));
}

TEST_F(SafeSaveTest, AFailedWriteKeepsThePreviousFileAndRemovesItsTemporary) {
    const std::string path = Path("big.bin");
    ASSERT_TRUE(Save(path, Bytes(100, 1)));
    // A file size limit fails writes past it as a full disk does.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{1000, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool saved = Save(path, Bytes(5000, 2), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, std::strerror(EFBIG));
    EXPECT_EQ(Read(path), Bytes(100, 1));
    EXPECT_EQ(Entries(), std::vector<std::string>{"big.bin"});

    // A save that is given up before it is committed changes nothing either.
    {
        CZynSafeSave save;
        ASSERT_TRUE(save.Open(path));
        ASSERT_TRUE(save.Write("xyz", 3));
    }
    EXPECT_EQ(Read(path), Bytes(100, 1));
    EXPECT_EQ(Entries(), std::vector<std::string>{"big.bin"});
}

TEST_F(SafeSaveTest, FifosAreWrittenThroughOrRefusedWithoutWaiting) {
    const std::string fifo = Path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(Save(fifo, {1, 2}, &error));
    EXPECT_EQ(error, "no process reads from the FIFO");

    Bytes received;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
        std::uint8_t b[256];
        ssize_t n;
        while ((n = ::read(fd, b, sizeof b)) > 0)
            received.insert(received.end(), b, b + n);
        ::close(fd);
    });
    // The reader may not have opened yet: a refusal then is right, so try until it has.
    bool written = false;
    for (int i = 0; i < 500 && !written; ++i) {
        written = Save(fifo, {1, 2, 3});
        if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(received, (Bytes{1, 2, 3}));

    // A reader that goes away fails the save; it does not end the process.
    std::thread quitter([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
        ::close(fd);
    });
    CZynSafeSave save;
    bool opened = false;
    for (int i = 0; i < 500 && !opened; ++i) {
        opened = save.Open(fifo);
        if (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    quitter.join();
    ASSERT_TRUE(opened);
    const Bytes lots(1 << 20, 5);
    EXPECT_FALSE(save.Write(lots.data(), lots.size()) && save.Commit());
    EXPECT_EQ(save.ErrorNumber(), EPIPE);
    EXPECT_EQ(Entries(), std::vector<std::string>{"pipe"});
}

TEST_F(SafeSaveTest, LinksAreFollowedAndFoldersRefused) {
    ASSERT_TRUE(Save(Path("real"), {1}));
    ASSERT_EQ(::symlink("real", Path("link").c_str()), 0);
    ASSERT_EQ(::symlink("link", Path("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", Path("loop-b").c_str()), 0);
    ASSERT_TRUE(Save(Path("link"), {2}));
    EXPECT_EQ(Read(Path("real")), Bytes{2});
    EXPECT_TRUE(fs::is_symlink(Path("link")));
    std::string error;
    EXPECT_FALSE(Save(Path("loop-b"), {3}, &error));
    EXPECT_EQ(error, std::strerror(ELOOP));
    EXPECT_FALSE(Save(m_dir, {3}, &error));
    EXPECT_EQ(error, std::strerror(EISDIR));
    EXPECT_FALSE(Save(Path("no/such/folder"), {3}, &error));
    EXPECT_EQ(error, std::strerror(ENOENT));
}

TEST_F(SafeSaveTest, ReadingTakesRegularFilesOnlyAndNeverWaits) {
    ASSERT_TRUE(Save(Path("file"), {1, 2, 3}));
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Bytes out;
    std::string error;
    ASSERT_TRUE(ZynReadRegularFile(Path("file"), out, 1024, &error));
    EXPECT_EQ(out, (Bytes{1, 2, 3}));
    EXPECT_FALSE(ZynReadRegularFile(Path("file"), out, 2, &error));
    EXPECT_TRUE(out.empty());
    for (const std::string& other : {Path("fifo"), m_dir, std::string("/dev/null")}) {
        EXPECT_FALSE(ZynReadRegularFile(other, out, 1024, &error)) << other;
        EXPECT_EQ(error.rfind("not a regular file (", 0), 0u) << other << ": " << error;
    }
    EXPECT_FALSE(ZynReadRegularFile(Path("missing"), out, 1024, &error));
    EXPECT_EQ(error, std::strerror(ENOENT));
}

TEST_F(SafeSaveTest, SameFileSeesThroughLinksAndNames) {
    ASSERT_TRUE(Save(Path("a"), {1}));
    ASSERT_TRUE(Save(Path("b"), {1}));
    ASSERT_EQ(::link(Path("a").c_str(), Path("hard").c_str()), 0);
    ASSERT_EQ(::symlink("a", Path("soft").c_str()), 0);
    EXPECT_TRUE(ZynSameFile(Path("a"), Path("a")));
    EXPECT_TRUE(ZynSameFile(Path("a"), Path("hard")));
    EXPECT_TRUE(ZynSameFile(Path("soft"), m_dir + "/./a"));
    EXPECT_FALSE(ZynSameFile(Path("a"), Path("b")));
    EXPECT_FALSE(ZynSameFile(Path("a"), Path("missing")));
}

} // namespace

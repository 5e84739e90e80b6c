#include "hive_p.h"

#include "com/bstr.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <thread>

namespace zyn::registry {

namespace {

// Connections wait this long for another process's write before giving up. A write that gave up
// means another process holds the store: the next writes wait only briefly until one gets through,
// so a burst of writes against a stuck store costs one full wait, not one each.
constexpr int kBusyTimeoutMs = 3000;
constexpr int kBusyAfterGivingUpMs = 200;
// How many logged changes a hive keeps; a watcher that falls further behind treats everything as
// changed.
constexpr std::int64_t kChangeLogKeep = 4096;
constexpr LONG ERROR_BUSY = 170;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS vals(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, fold));
CREATE TABLE IF NOT EXISTS changes(
  seq INTEGER PRIMARY KEY,
  path TEXT NOT NULL,
  kind INTEGER NOT NULL);
)sql";

// Simple case folding: ASCII, Latin-1, Greek and Cyrillic capitals map to their small letters. The
// names this system uses are ASCII; the rest keeps typical European names matching either way without
// depending on the process locale.
char16_t FoldChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c < 0xC0) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    return c;
}

LONG MapSqlite(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    default:
        return ERROR_BADDB;
    }
}

// A prepared statement that finalises itself.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    int rc() const { return m_rc; }
    Stmt& Bind(int i, std::int64_t v) {
        if (ok()) m_rc = sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Stmt& Bind(int i, const std::string& s) {
        if (ok()) m_rc = sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& BindBlob(int i, const void* p, int n) {
        // A zero-length blob must still be a blob, not NULL.
        if (ok())
            m_rc = n > 0 ? sqlite3_bind_blob(m_stmt, i, p, n, SQLITE_TRANSIENT)
                         : sqlite3_bind_zeroblob(m_stmt, i, 0);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE, or an error (kept in rc()).
    int Step() {
        if (!ok()) return m_rc;
        int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) m_rc = rc;
        return rc;
    }
    LONG Run() {
        int rc = Step();
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : MapSqlite(rc);
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::string Text(int col) const {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
                 : std::string();
    }
    std::vector<BYTE> Blob(int col) const {
        auto p = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, col));
        auto n = sqlite3_column_bytes(m_stmt, col);
        return p && n > 0 ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void MakeFolders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos == folder.size() || folder[pos] == '/') ::mkdir(folder.substr(0, pos).c_str(), 0700);
    }
}

std::string JoinPath(const std::string& base, const std::string& fold) {
    return base.empty() ? fold : base + '\\' + fold;
}

const char* HiveFile(HiveKind kind) {
    switch (kind) {
    case HiveKind::Classes:
        return "classes.db";
    case HiveKind::User:
        return "user.db";
    case HiveKind::Machine:
        break;
    }
    return "machine.db";
}

// What an SQLite result says about the file: another process holds it for the moment, the file is
// not a database or is broken, or it cannot be written here.
Hive::OpenResult Classify(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Hive::OpenResult::Contended;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Hive::OpenResult::Damaged;
    default:
        return Hive::OpenResult::NotWritable;
    }
}

// Whether a connection's database is whole: SQLite's quick check, which reads every page once
// (the hives are small).
Hive::OpenResult CheckIntegrity(sqlite3* db) {
    Stmt check(db, "PRAGMA quick_check(1)");
    const int rc = check.Step();
    if (rc == SQLITE_ROW) return check.Text(0) == "ok" ? Hive::OpenResult::Open : Hive::OpenResult::Damaged;
    return Classify(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc);
}

// A file name as the path of an SQLite URI.
std::string UriPath(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out;
}

// The name a damaged database is kept under: its own, the word and the local time.
std::string KeptName(const std::string& file) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string kept = file + ".damaged-" + stamp;
    for (int n = 2; ::access(kept.c_str(), F_OK) == 0; ++n)
        kept = file + ".damaged-" + stamp + "-" + std::to_string(n);
    return kept;
}

struct Notices {
    std::mutex mutex;
    NoticeHandler handler;
    std::vector<std::string> waiting;
    std::set<std::string> said;
};

Notices& TheNotices() {
    static Notices notices;
    return notices;
}

} // namespace

void Notice(const std::string& text) {
    Notices& n = TheNotices();
    NoticeHandler handler;
    {
        std::lock_guard lock(n.mutex);
        if (!n.said.insert(text).second) return;
        if (!n.handler) {
            n.waiting.push_back(text);
            return;
        }
        handler = n.handler;
    }
    handler(text);
}

void SetNoticeHandler(const NoticeHandler& handler) {
    Notices& n = TheNotices();
    std::vector<std::string> waiting;
    {
        std::lock_guard lock(n.mutex);
        n.handler = handler;
        if (handler) waiting.swap(n.waiting);
    }
    for (const auto& text : waiting)
        handler(text);
}

Name MakeName(std::u16string_view s) {
    std::u16string folded(s);
    for (auto& c : folded)
        c = FoldChar(c);
    return Name{zyn::com::Utf16ToUtf8(s), zyn::com::Utf16ToUtf8(folded)};
}

std::string HiveFolder() {
    if (const char* dir = std::getenv("ZYN_REGISTRY_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/zynthar";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config/zynthar";
}

std::shared_ptr<Hive> Hive::Get(HiveKind kind) {
    struct Entry {
        std::shared_ptr<Hive> hive;
        pid_t pid;
    };
    static std::mutex mutex;
    static std::map<std::string, Entry> hives;

    std::string folder = HiveFolder();
    std::string file = folder + '/' + HiveFile(kind);
    std::lock_guard lock(mutex);
    auto& entry = hives[file];
    // A connection must not cross a fork: a child opens its own.
    if (!entry.hive || entry.pid != ::getpid()) {
        static std::vector<std::shared_ptr<Hive>> inherited; // never closed here: the parent owns them
        if (entry.hive) inherited.push_back(std::move(entry.hive));
        entry.hive = std::make_shared<Hive>(kind, folder, file);
        entry.pid = ::getpid();
    }
    return entry.hive;
}

Hive::Hive(HiveKind kind, std::string folder, std::string file)
    : m_kind(kind), m_folder(std::move(folder)), m_file(std::move(file)) {}

Hive::~Hive() {
    int_Close();
}

void Hive::int_Close() {
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_writable = false;
}

Hive::OpenResult Hive::int_OpenWritable() {
    MakeFolders(m_folder);
    int rc = sqlite3_open_v2(m_file.c_str(), &m_db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        int_Close();
        return OpenResult::NotWritable;
    }
    // SQLite quietly opens a write-protected file for reading only.
    if (sqlite3_db_readonly(m_db, "main") != 0) {
        int_Close();
        return OpenResult::NotWritable;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // A file that is not a database, or one whose pages are broken, fails here and not later on
    // every read and write.
    const OpenResult check = CheckIntegrity(m_db);
    if (check != OpenResult::Open) {
        int_Close();
        return check;
    }
    {
        Stmt mode(m_db, "PRAGMA journal_mode=WAL");
        rc = mode.Step();
        if (rc != SQLITE_ROW || mode.Text(0) != "wal") {
            int_Close();
            return Classify(rc == SQLITE_ROW ? SQLITE_BUSY : rc);
        }
    }
    if (!Exec(m_db, "PRAGMA synchronous=NORMAL")) {
        int_Close();
        return OpenResult::Contended;
    }
    rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        int_Close();
        return Classify(rc);
    }
    rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        Exec(m_db, "ROLLBACK");
        int_Close();
        return Classify(rc);
    }
    m_writable = true;
    return OpenResult::Open;
}

Hive::OpenResult Hive::int_OpenReadOnly() {
    // A database in WAL mode needs its shared-memory file, which a read-only folder or file system
    // cannot make: such a store is read as an unchanging file instead.
    for (const bool immutable : {false, true}) {
        const std::string uri = "file:" + UriPath(m_file) + (immutable ? "?mode=ro&immutable=1" : "?mode=ro");
        int rc = sqlite3_open_v2(uri.c_str(), &m_db,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
            Stmt probe(m_db, "SELECT count(*) FROM keys");
            rc = probe.Step() == SQLITE_ROW ? SQLITE_OK : probe.rc();
        }
        if (rc == SQLITE_OK) return OpenResult::Open;
        int_Close();
        if (Classify(rc) == OpenResult::Damaged) return OpenResult::Damaged;
    }
    return OpenResult::NotWritable;
}

bool Hive::int_MoveAside() {
    // One process at a time decides, so that a database another process has just replaced with a
    // fresh one is not moved aside as well.
    const std::string lockFile = m_file + ".lock";
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock >= 0) {
        for (int waited = 0; ::flock(lock, LOCK_EX | LOCK_NB) != 0 && waited < kBusyTimeoutMs; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool moved = false;
    sqlite3* probe = nullptr;
    OpenResult state = OpenResult::Damaged;
    if (::access(m_file.c_str(), F_OK) != 0)
        state = OpenResult::Open; // moved by another process, which is making the new one
    else if (sqlite3_open_v2(m_file.c_str(), &probe, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) ==
             SQLITE_OK)
        state = CheckIntegrity(probe);
    sqlite3_close_v2(probe);
    if (state != OpenResult::Damaged) {
        moved = true; // already put right by another process
    } else {
        const std::string kept = KeptName(m_file);
        if (::rename(m_file.c_str(), kept.c_str()) == 0) {
            // The journal belongs to the damaged file; the shared memory is rebuilt.
            ::rename((m_file + "-wal").c_str(), (kept + "-wal").c_str());
            ::unlink((m_file + "-shm").c_str());
            Notice("The settings file " + m_file + " was damaged; it is kept as " + kept +
                   " and a new one starts from the default settings.");
            moved = true;
        } else {
            Notice("The settings file " + m_file + " is damaged and cannot be moved aside (" +
                   std::strerror(errno) + "); the default settings are used and changes are not kept.");
        }
    }
    if (lock >= 0) ::close(lock);
    return moved;
}

bool Hive::int_Open() {
    if (m_db) return true;
    // A damaged file that could not be moved aside is not tried again on every call.
    if (m_unusable) return false;
    // Several processes creating the same new hive at once: switching a fresh database to WAL
    // needs it to themselves for a moment and fails rather than waits, so a writable file is tried
    // again for a short while before falling back to reading.
    bool movedAside = false;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        const OpenResult result = int_OpenWritable();
        if (result == OpenResult::Open) return true;
        if (result == OpenResult::Damaged) {
            if (movedAside || !int_MoveAside()) {
                m_unusable = true;
                return false;
            }
            movedAside = true;
            continue;
        }
        if (result != OpenResult::Contended || std::chrono::steady_clock::now() > giveUp) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A hive that cannot be written may still be read; one that cannot even be read is retried on
    // the next call, so a folder that appears later is picked up.
    const OpenResult read = int_OpenReadOnly();
    if (read == OpenResult::Damaged) {
        Notice("The settings file " + m_file +
               " is damaged and cannot be moved aside; the default "
               "settings are used and changes are not kept.");
        m_unusable = true;
        return false;
    }
    if (read != OpenResult::Open) return false;
    if (m_kind == HiveKind::User)
        Notice("The settings file " + m_file + " can only be read: changes to the settings are not kept.");
    return true;
}

bool Hive::Writable() {
    std::lock_guard lock(m_mutex);
    return int_Open() && m_writable;
}

template <class F> LONG Hive::int_Read(F&& body) {
    std::lock_guard lock(m_mutex);
    if (!int_Open()) return ERROR_FILE_NOT_FOUND;
    return body();
}

template <class F> LONG Hive::int_Write(F&& body) {
    std::lock_guard lock(m_mutex);
    if (!int_Open() || !m_writable) return ERROR_ACCESS_DENIED;
    int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    const bool busy = (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
    if (busy != m_gaveUpWaiting) {
        m_gaveUpWaiting = busy;
        sqlite3_busy_timeout(m_db, busy ? kBusyAfterGivingUpMs : kBusyTimeoutMs);
    }
    if (rc != SQLITE_OK) return MapSqlite(rc);
    LONG result = body();
    if (result == ERROR_SUCCESS) {
        rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return ERROR_SUCCESS;
        result = MapSqlite(rc);
    }
    Exec(m_db, "ROLLBACK");
    return result;
}

LONG Hive::int_Resolve(std::int64_t from, const std::vector<Name>& path, std::int64_t* id) {
    if (from != 0) {
        Stmt exists(m_db, "SELECT 1 FROM keys WHERE id=?");
        int rc = exists.Bind(1, from).Step();
        if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
        if (rc != SQLITE_ROW) return MapSqlite(rc);
    }
    std::int64_t cur = from;
    for (const auto& n : path) {
        Stmt child(m_db, "SELECT id FROM keys WHERE parent=? AND fold=?");
        int rc = child.Bind(1, cur).Bind(2, n.fold).Step();
        if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW) return MapSqlite(rc);
        cur = child.Int(0);
    }
    *id = cur;
    return ERROR_SUCCESS;
}

LONG Hive::int_LogChange(const std::string& path, int kind) {
    Stmt ins(m_db, "INSERT INTO changes(path, kind) VALUES(?, ?)");
    LONG r = ins.Bind(1, path).Bind(2, kind).Run();
    if (r != ERROR_SUCCESS) return r;
    std::int64_t seq = sqlite3_last_insert_rowid(m_db);
    if (seq % 256 == 0) {
        Stmt prune(m_db, "DELETE FROM changes WHERE seq<=?");
        return prune.Bind(1, seq - kChangeLogKeep).Run();
    }
    return ERROR_SUCCESS;
}

LONG Hive::OpenKey(std::int64_t from, const std::vector<Name>& path, std::int64_t* id) {
    return int_Read([&] { return int_Resolve(from, path, id); });
}

LONG Hive::KeyExists(std::int64_t id) {
    std::int64_t same = 0;
    return int_Read([&] { return int_Resolve(id, {}, &same); });
}

LONG Hive::CreateKey(std::int64_t from, const std::string& fromPath, const std::vector<Name>& path,
                     std::int64_t* id, DWORD* disposition) {
    return int_Write([&]() -> LONG {
        std::int64_t cur = 0;
        if (LONG r = int_Resolve(from, {}, &cur); r != ERROR_SUCCESS) return r;
        std::string curPath = fromPath;
        DWORD disp = REG_OPENED_EXISTING_KEY;
        for (const auto& n : path) {
            curPath = JoinPath(curPath, n.fold);
            Stmt child(m_db, "SELECT id FROM keys WHERE parent=? AND fold=?");
            int rc = child.Bind(1, cur).Bind(2, n.fold).Step();
            if (rc == SQLITE_ROW) {
                cur = child.Int(0);
                continue;
            }
            if (rc != SQLITE_DONE) return MapSqlite(rc);
            Stmt ins(m_db, "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
            if (LONG r = ins.Bind(1, cur).Bind(2, n.text).Bind(3, n.fold).Run(); r != ERROR_SUCCESS) return r;
            cur = sqlite3_last_insert_rowid(m_db);
            disp = REG_CREATED_NEW_KEY;
            if (LONG r = int_LogChange(curPath, kChangeName); r != ERROR_SUCCESS) return r;
        }
        *id = cur;
        if (disposition) *disposition = disp;
        return ERROR_SUCCESS;
    });
}

LONG Hive::int_DeleteSubtree(std::int64_t id, bool includeSelf) {
    static constexpr const char* kSub = "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
                                        "SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id) ";
    // The recursive set includes the start key: its values always go, its row only when asked.
    Stmt vals(m_db, (std::string(kSub) + "DELETE FROM vals WHERE key IN (SELECT id FROM sub)").c_str());
    if (LONG r = vals.Bind(1, id).Run(); r != ERROR_SUCCESS) return r;
    Stmt keys(
        m_db,
        (std::string(kSub) + "DELETE FROM keys WHERE id IN (SELECT id FROM sub) AND (id<>?1 OR ?2)").c_str());
    return keys.Bind(1, id).Bind(2, includeSelf ? 1 : 0).Run();
}

LONG Hive::DeleteKey(std::int64_t from, const std::string& fromPath, const std::vector<Name>& path,
                     bool tree) {
    return int_Write([&]() -> LONG {
        std::int64_t target = 0;
        if (LONG r = int_Resolve(from, path, &target); r != ERROR_SUCCESS) return r;
        std::string targetPath = fromPath;
        for (const auto& n : path)
            targetPath = JoinPath(targetPath, n.fold);
        // A null sub-key for the tree form empties the key but keeps it.
        bool includeSelf = !path.empty();
        if (includeSelf && target == 0) return ERROR_ACCESS_DENIED;
        if (!tree) {
            if (!includeSelf) return ERROR_ACCESS_DENIED;
            Stmt kids(m_db, "SELECT 1 FROM keys WHERE parent=? LIMIT 1");
            int rc = kids.Bind(1, target).Step();
            if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
            if (rc != SQLITE_DONE) return MapSqlite(rc);
        }
        if (LONG r = int_DeleteSubtree(target, includeSelf); r != ERROR_SUCCESS) return r;
        return int_LogChange(targetPath, includeSelf ? kChangeName : kChangeName | kChangeValue);
    });
}

LONG Hive::QueryValue(std::int64_t key, const Name& name, DWORD* type, std::vector<BYTE>* data) {
    return int_Read([&]() -> LONG {
        std::int64_t id = 0;
        if (LONG r = int_Resolve(key, {}, &id); r != ERROR_SUCCESS) return r;
        Stmt q(m_db, "SELECT type, data FROM vals WHERE key=? AND fold=?");
        int rc = q.Bind(1, key).Bind(2, name.fold).Step();
        if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW) return MapSqlite(rc);
        *type = static_cast<DWORD>(q.Int(0));
        *data = q.Blob(1);
        return ERROR_SUCCESS;
    });
}

LONG Hive::SetValue(std::int64_t key, const std::string& keyPath, const Name& name, DWORD type,
                    const BYTE* data, DWORD size) {
    return int_Write([&]() -> LONG {
        std::int64_t id = 0;
        if (LONG r = int_Resolve(key, {}, &id); r != ERROR_SUCCESS) return r;
        // An upsert keeps the row, so enumeration order stays the order of first setting.
        Stmt up(m_db, "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
                      "ON CONFLICT(key, fold) DO UPDATE SET name=excluded.name, type=excluded.type, "
                      "data=excluded.data");
        up.Bind(1, key).Bind(2, name.text).Bind(3, name.fold).Bind(4, static_cast<std::int64_t>(type));
        up.BindBlob(5, data, static_cast<int>(size));
        if (LONG r = up.Run(); r != ERROR_SUCCESS) return r;
        return int_LogChange(keyPath, kChangeValue);
    });
}

LONG Hive::DeleteValue(std::int64_t key, const std::string& keyPath, const Name& name) {
    return int_Write([&]() -> LONG {
        std::int64_t id = 0;
        if (LONG r = int_Resolve(key, {}, &id); r != ERROR_SUCCESS) return r;
        Stmt del(m_db, "DELETE FROM vals WHERE key=? AND fold=?");
        if (LONG r = del.Bind(1, key).Bind(2, name.fold).Run(); r != ERROR_SUCCESS) return r;
        if (sqlite3_changes(m_db) == 0) return ERROR_FILE_NOT_FOUND;
        return int_LogChange(keyPath, kChangeValue);
    });
}

LONG Hive::EnumKey(std::int64_t key, DWORD index, std::string* name) {
    return int_Read([&]() -> LONG {
        std::int64_t id = 0;
        if (LONG r = int_Resolve(key, {}, &id); r != ERROR_SUCCESS) return r;
        Stmt q(m_db, "SELECT name FROM keys WHERE parent=? ORDER BY fold LIMIT 1 OFFSET ?");
        int rc = q.Bind(1, key).Bind(2, static_cast<std::int64_t>(index)).Step();
        if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW) return MapSqlite(rc);
        *name = q.Text(0);
        return ERROR_SUCCESS;
    });
}

LONG Hive::EnumValue(std::int64_t key, DWORD index, std::string* name, DWORD* type, std::vector<BYTE>* data) {
    return int_Read([&]() -> LONG {
        std::int64_t id = 0;
        if (LONG r = int_Resolve(key, {}, &id); r != ERROR_SUCCESS) return r;
        Stmt q(m_db, "SELECT name, type, data FROM vals WHERE key=? ORDER BY id LIMIT 1 OFFSET ?");
        int rc = q.Bind(1, key).Bind(2, static_cast<std::int64_t>(index)).Step();
        if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW) return MapSqlite(rc);
        *name = q.Text(0);
        *type = static_cast<DWORD>(q.Int(1));
        *data = q.Blob(2);
        return ERROR_SUCCESS;
    });
}

LONG Hive::ChangeCounter(std::int64_t* counter) {
    return int_Read([&]() -> LONG {
        Stmt q(m_db, "SELECT coalesce(max(seq), 0) FROM changes");
        int rc = q.Step();
        if (rc != SQLITE_ROW) return MapSqlite(rc);
        *counter = q.Int(0);
        return ERROR_SUCCESS;
    });
}

LONG Hive::ChangesSince(std::int64_t since, std::vector<ChangeEntry>* out, bool* lost, std::int64_t* last) {
    return int_Read([&]() -> LONG {
        Stmt first(m_db, "SELECT coalesce(min(seq), 0), coalesce(max(seq), 0) FROM changes");
        int rc = first.Step();
        if (rc != SQLITE_ROW) return MapSqlite(rc);
        std::int64_t minSeq = first.Int(0);
        std::int64_t maxSeq = first.Int(1);
        *lost = maxSeq > since && minSeq > since + 1;
        *last = std::max(maxSeq, since);
        out->clear();
        if (*lost || maxSeq <= since) return ERROR_SUCCESS;
        Stmt q(m_db, "SELECT seq, path, kind FROM changes WHERE seq>? ORDER BY seq");
        q.Bind(1, since);
        while ((rc = q.Step()) == SQLITE_ROW)
            out->push_back(ChangeEntry{q.Int(0), q.Text(1), static_cast<int>(q.Int(2))});
        return rc == SQLITE_DONE ? ERROR_SUCCESS : MapSqlite(rc);
    });
}

} // namespace zyn::registry

#include "hive_p.h"

#include "com/bstr.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zyn::registry {

namespace {

// Connections wait this long for another process's write before giving up.
constexpr int kBusyTimeoutMs = 10000;
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

} // namespace

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
        entry.hive = std::make_shared<Hive>(folder, file);
        entry.pid = ::getpid();
    }
    return entry.hive;
}

Hive::Hive(std::string folder, std::string file) : m_folder(std::move(folder)), m_file(std::move(file)) {}

Hive::~Hive() {
    int_Close();
}

void Hive::int_Close() {
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_writable = false;
}

bool Hive::int_OpenWritable() {
    m_openContended = false;
    MakeFolders(m_folder);
    int rc = sqlite3_open_v2(m_file.c_str(), &m_db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        int_Close();
        return false;
    }
    // SQLite quietly opens a write-protected file for reading only.
    if (sqlite3_db_readonly(m_db, "main") != 0) {
        int_Close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    bool wal = false;
    {
        Stmt mode(m_db, "PRAGMA journal_mode=WAL");
        wal = mode.Step() == SQLITE_ROW && mode.Text(0) == "wal";
    }
    if (!wal || !Exec(m_db, "PRAGMA synchronous=NORMAL") || !Exec(m_db, "BEGIN IMMEDIATE")) {
        int_Close();
        m_openContended = true;
        return false;
    }
    if (!Exec(m_db, kSchema) || !Exec(m_db, "COMMIT")) {
        Exec(m_db, "ROLLBACK");
        int_Close();
        m_openContended = true;
        return false;
    }
    m_writable = true;
    return true;
}

bool Hive::int_OpenReadOnly() {
    int rc = sqlite3_open_v2(m_file.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        int_Close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    Stmt probe(m_db, "SELECT count(*) FROM keys");
    if (probe.Step() != SQLITE_ROW) {
        int_Close();
        return false;
    }
    return true;
}

bool Hive::int_Open() {
    if (m_db) return true;
    // Several processes creating the same new hive at once: switching a fresh database to WAL
    // needs it to themselves for a moment and fails rather than waits, so a writable file is tried
    // again for up to about two seconds before falling back to reading.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (int_OpenWritable()) return true;
        if (!m_openContended) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A hive that cannot be written may still be read; one that cannot even be read is retried on
    // the next call, so a folder that appears later is picked up.
    return int_OpenReadOnly();
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

#pragma once
// One hive: a SQLite database of keys and typed values, shared by every handle into it within this
// process. Other processes reach the same file through their own connection; SQLite's locking in WAL
// mode serialises the writers, and each of our writes is one immediate transaction.

#include "registry.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace zyn::registry {

enum class HiveKind { Classes, User, Machine };

// A key or value name as stored (UTF-8 in its original case) and as compared (case-folded).
struct Name {
    std::string text;
    std::string fold;
};
Name MakeName(std::u16string_view s);

// A logged change: the folded path of the key that changed, and whether a key appeared or went
// (kChangeName) or a value was set or deleted (kChangeValue).
inline constexpr int kChangeName = 1;
inline constexpr int kChangeValue = 2;
struct ChangeEntry {
    std::int64_t seq = 0;
    std::string path;
    int kind = 0;
};

class Hive {
public:
    // The hive of that kind in the current hive folder, opened on first use.
    static std::shared_ptr<Hive> Get(HiveKind kind);

    Hive(HiveKind kind, std::string folder, std::string file);
    ~Hive();
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    const std::string& Folder() const { return m_folder; }

    // Paths are relative to the key `from` whose folded path is `fromPath`; results give the key's id
    // and folded path.
    LONG OpenKey(std::int64_t from, const std::vector<Name>& path, std::int64_t* id);
    LONG CreateKey(std::int64_t from, const std::string& fromPath, const std::vector<Name>& path,
                   std::int64_t* id, DWORD* disposition);
    LONG DeleteKey(std::int64_t from, const std::string& fromPath, const std::vector<Name>& path, bool tree);
    LONG KeyExists(std::int64_t id);
    // True when the hive can take writes (opening it first if needed).
    bool Writable();

    LONG QueryValue(std::int64_t key, const Name& name, DWORD* type, std::vector<BYTE>* data);
    LONG SetValue(std::int64_t key, const std::string& keyPath, const Name& name, DWORD type,
                  const BYTE* data, DWORD size);
    LONG DeleteValue(std::int64_t key, const std::string& keyPath, const Name& name);
    LONG EnumKey(std::int64_t key, DWORD index, std::string* name);
    LONG EnumValue(std::int64_t key, DWORD index, std::string* name, DWORD* type, std::vector<BYTE>* data);

    // The number of the last logged change; the changes after `since` up to `last` (lost: some were
    // already pruned, so the caller must assume anything changed).
    LONG ChangeCounter(std::int64_t* counter);
    LONG ChangesSince(std::int64_t since, std::vector<ChangeEntry>* out, bool* lost, std::int64_t* last);

    // Why opening for writing did not work: another process holds the file for a moment, the
    // file is not a whole database, or it cannot be written here.
    enum class OpenResult { Open, Contended, Damaged, NotWritable };

private:
    bool int_Open();
    OpenResult int_OpenWritable();
    OpenResult int_OpenReadOnly();
    // Renames a damaged database aside (saying so); false when it cannot be.
    bool int_MoveAside();
    void int_Close();
    template <class F> LONG int_Write(F&& body);
    template <class F> LONG int_Read(F&& body);
    LONG int_Resolve(std::int64_t from, const std::vector<Name>& path, std::int64_t* id);
    LONG int_LogChange(const std::string& path, int kind);
    LONG int_DeleteSubtree(std::int64_t id, bool includeSelf);

    std::mutex m_mutex;
    HiveKind m_kind;
    std::string m_folder;
    std::string m_file;
    sqlite3* m_db = nullptr;
    bool m_writable = false;
    // Damaged and not to be moved aside: the hive answers as if it could not be opened.
    bool m_unusable = false;
    // The last write found another process holding the store after the full wait.
    bool m_gaveUpWaiting = false;
};

// Hands a notice to the program (once per text and process).
void Notice(const std::string& text);

// One RegNotifyChangeKeyValue call: which key, how widely, and the last change already seen.
struct ChangeWatcher::Registration {
    std::shared_ptr<Hive> hive;
    std::string path;
    bool subtree = false;
    DWORD filter = 0;
    std::int64_t seen = 0; // the last change already accounted for

    static std::string_view Parent(std::string_view p) {
        auto cut = p.rfind('\\');
        return cut == std::string_view::npos ? std::string_view() : p.substr(0, cut);
    }
    // True when `inner` lies strictly below `outer`.
    static bool Below(std::string_view inner, std::string_view outer) {
        if (outer.empty()) return !inner.empty();
        return inner.size() > outer.size() && inner.substr(0, outer.size()) == outer &&
               inner[outer.size()] == '\\';
    }

    bool Matches(const ChangeEntry& c) const {
        bool names = (filter & REG_NOTIFY_CHANGE_NAME) && (c.kind & kChangeName);
        bool values = (filter & REG_NOTIFY_CHANGE_LAST_SET) && (c.kind & kChangeValue);
        if (!names && !values) return false;
        if (c.path == path) return true;
        // The watched key went with an ancestor.
        if ((c.kind & kChangeName) && Below(path, c.path)) return true;
        if (subtree) return Below(c.path, path);
        // Without the subtree only the appearance or removal of a direct sub-key counts.
        return names && !c.path.empty() && Parent(c.path) == path;
    }
};

} // namespace zyn::registry

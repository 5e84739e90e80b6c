#pragma once
// CNumberedSettings: the process-wide map from a setting number to a 32-bit value (expert mode,
// counter detail level, "Add channel" count, …). Absent numbers read as their documented default.
// It is kept in the user hive as the binary value "Prefs" under "Settings" and written at exit.

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

class CNumberedSettings {
public:
    // The numbers in use.
    enum : std::uint32_t {
        kBroadcastSelection = 111,
        kRecentFileCount = 121,
        kExpertMode = 122,    // no confirmation prompts
        kCounterDetail = 123, // 0 low, 1 medium, 2 high, 3 all
        kDisableFades = 124,
        kAddChannelUses = 125,
        kStartupCounter = 131,
        kMultipleAutomation = 140,
        kLastViewBackground = 10002,
        kMajorTickLength = 10005,
        kChannelSheetOpen = 10006,
    };

    // The value, or the number's default (0 for a number without one). After Close every read
    // gives the default: the store has been written and no longer follows changes.
    std::uint32_t Get(std::uint32_t id) const;
    void Set(std::uint32_t id, std::uint32_t value);
    // Adds one and returns the new value.
    std::uint32_t Increment(std::uint32_t id);
    bool Contains(std::uint32_t id) const { return m_values.count(id) != 0; }

    static std::optional<std::uint32_t> Default(std::uint32_t id);

    // The stored form: a u32 count, then (number, value) pairs, little-endian.
    std::vector<std::uint8_t> Pack() const;
    // False, leaving the values as they were, for a form that is cut short or announces more pairs
    // than it holds.
    [[nodiscard]] bool Unpack(const std::uint8_t* data, std::size_t size);

    // The user hive, "Settings" key, value "Prefs". Load keeps the current values when nothing
    // readable is stored.
    bool Load();
    bool Save() const;
    void Close() { m_closed = true; }

private:
    std::map<std::uint32_t, std::uint32_t> m_values;
    bool m_closed = false;
};

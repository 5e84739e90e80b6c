#include "NumberedSettings.h"

#include "utils/ZynRegistry.h"

#include <array>
#include <memory>

namespace {

struct DefaultEntry {
    std::uint32_t id;
    std::uint32_t value;
};

constexpr std::array<DefaultEntry, 9> kDefaults = {{
    {CNumberedSettings::kBroadcastSelection, 1},
    {CNumberedSettings::kRecentFileCount, 8},
    {CNumberedSettings::kExpertMode, 0},
    {CNumberedSettings::kCounterDetail, 2},
    {CNumberedSettings::kDisableFades, 0},
    {CNumberedSettings::kAddChannelUses, 0},
    {CNumberedSettings::kStartupCounter, 0},
    {CNumberedSettings::kMultipleAutomation, 0},
    {CNumberedSettings::kChannelSheetOpen, 0},
}};

// A store larger than this was not written by us; refusing it keeps a damaged value from
// allocating at will.
constexpr std::uint32_t kMaxPairs = 4096;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

struct RegistryRelease {
    void operator()(CZynRegistry* r) const { ReleaseReg(r); }
};

} // namespace

std::optional<std::uint32_t> CNumberedSettings::Default(std::uint32_t id) {
    for (const DefaultEntry& e : kDefaults) {
        if (e.id == id) return e.value;
    }
    return std::nullopt;
}

std::uint32_t CNumberedSettings::Get(std::uint32_t id) const {
    if (!m_closed) {
        const auto it = m_values.find(id);
        if (it != m_values.end()) return it->second;
    }
    return Default(id).value_or(0);
}

void CNumberedSettings::Set(std::uint32_t id, std::uint32_t value) {
    m_values[id] = value;
}

std::uint32_t CNumberedSettings::Increment(std::uint32_t id) {
    const std::uint32_t v = Get(id) + 1;
    Set(id, v);
    return v;
}

std::vector<std::uint8_t> CNumberedSettings::Pack() const {
    std::vector<std::uint8_t> out;
    out.reserve(4 + 8 * m_values.size());
    PutU32(out, std::uint32_t(m_values.size()));
    for (const auto& [id, value] : m_values) {
        PutU32(out, id);
        PutU32(out, value);
    }
    return out;
}

bool CNumberedSettings::Unpack(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 4) return false;
    const std::uint32_t count = GetU32(data);
    if (count > kMaxPairs || size < 4 + std::size_t(count) * 8) return false;
    std::map<std::uint32_t, std::uint32_t> values;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = data + 4 + std::size_t(i) * 8;
        values[GetU32(p)] = GetU32(p + 4);
    }
    m_values = std::move(values);
    return true;
}

bool CNumberedSettings::Load() {
    std::unique_ptr<CZynRegistry, RegistryRelease> reg(GetUserReg(u"Settings"));
    if (!reg) return false;
    const int size = reg->SizeInBytes(u"Prefs");
    if (size < 4 || size > int(4 + kMaxPairs * 8)) return false;
    std::vector<std::uint8_t> bytes(std::size_t(size), 0);
    if (reg->ReadBinary(u"Prefs", bytes.data(), size) != size) return false;
    return Unpack(bytes.data(), bytes.size());
}

bool CNumberedSettings::Save() const {
    std::unique_ptr<CZynRegistry, RegistryRelease> reg(GetUserReg(u"Settings"));
    if (!reg) return false;
    const std::vector<std::uint8_t> bytes = Pack();
    return reg->Store(u"Prefs", bytes.data(), int(bytes.size()));
}

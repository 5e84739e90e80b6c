#include "TallonAppContext.h"

#include "ZynApp.h"
#include "ZynChart.h"
#include "ZynInterfaces.h"
#include "ZynRegistry.h"
#include "com/classregistry.h"

#include <vector>

CTallonAppContext& CTallonAppContext::Instance() {
    static CTallonAppContext context;
    return context;
}

IZynApp* CTallonAppContext::App() {
    if (m_app) return m_app;
    if (!m_factory) {
        CLSID clsid{};
        if (SUCCEEDED(CLSIDFromProgID(u"ZynTallonObj.ZynObjFactory.1", &clsid)))
            CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IZynObjFactory::kIID, reinterpret_cast<void**>(&m_factory));
    }
    if (m_factory) {
        CComPtr<IUnknown> made;
        // The sub-index only has to be unique to the process: the context's address is.
        const auto subIndex = static_cast<LONG>(reinterpret_cast<std::uintptr_t>(this) & 0x7FFFFFFF);
        if (SUCCEEDED(m_factory->Create(1, subIndex, 0, &made)) && made) made.QueryInterface(&m_app);
    }
    // The library is linked into the program as well: a store that cannot be read must not
    // leave the program without charts.
    if (!m_app) {
        CComPtr<CZynApp> direct = zyn::com::MakeObject<CZynApp>();
        m_app = static_cast<IZynApp*>(direct.p);
    }
    return m_app;
}

int CTallonAppContext::DefaultFor(int number) {
    switch (number) {
    case ZynSetting::SelectionBroadcast: return 1;
    case ZynSetting::RecentFileCount: return 8;
    default: return 0;
    }
}

int CTallonAppContext::Setting(int number, int def) const {
    if (closed) return def;
    auto it = m_settings.find(number);
    return it == m_settings.end() ? def : it->second;
}

void CTallonAppContext::SetSetting(int number, int value) { m_settings[number] = value; }

void CTallonAppContext::Load() {
    CZynRegistry* reg = GetUserReg(u"Settings");
    if (!reg) return;
    ChartSettingsBytes record{};
    const int got = reg->ReadBinary(u"ChartDefault", record.data(), int(record.size()));
    if (got > 0) {
        ChartSettings loaded;
        if (ReadChartSettings(record.data(), std::size_t(got), loaded)) m_defaults = loaded;
    }
    // "Prefs": pairs of 32-bit number and value, little-endian.
    const int size = reg->SizeInBytes(u"Prefs");
    if (size > 0 && size % 8 == 0 && size <= 64 * 1024) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (reg->ReadBinary(u"Prefs", bytes.data(), size) == size) {
            auto u32 = [&](std::size_t at) {
                return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
                       std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
            };
            for (std::size_t at = 0; at < bytes.size(); at += 8) m_settings[int(u32(at))] = int(u32(at + 4));
        }
    }
    ReleaseReg(reg);
}

void CTallonAppContext::Save() {
    CZynRegistry* reg = GetUserReg(u"Settings");
    if (!reg) return;
    const ChartSettingsBytes record = WriteChartSettings(m_defaults);
    reg->Store(u"ChartDefault", record.data(), int(record.size()));
    std::vector<std::uint8_t> bytes;
    for (auto [number, value] : m_settings) {
        for (std::uint32_t v : {std::uint32_t(number), std::uint32_t(value)})
            for (int shift = 0; shift < 32; shift += 8) bytes.push_back(std::uint8_t(v >> shift));
    }
    reg->Store(u"Prefs", bytes.data(), int(bytes.size()));
    ReleaseReg(reg);
}

void CTallonAppContext::ReleaseObjects() {
    m_app.Release();
    m_factory.Release();
}

void CTallonAppContext::Reset() {
    ReleaseObjects();
    closed = false;
    mainFrameGone = false;
    m_settings.clear();
    m_defaults = ChartSettings{};
}

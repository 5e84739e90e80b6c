#include "AppContext.h"

#include "display/ChartFonts.h"

#include "com/classregistry.h"
#include "utils/ZynRegistry.h"

#include <QApplication>
#include <QPalette>

#include <cstdio>
#include <memory>
#include <mutex>

namespace {

struct RegistryRelease {
    void operator()(CZynRegistry* r) const { ReleaseReg(r); }
};

COLORREF SystemWindowColour() {
    const QColor c = QApplication::palette().color(QPalette::Base);
    return COLORREF(c.red()) | (COLORREF(c.green()) << 8) | (COLORREF(c.blue()) << 16);
}

} // namespace

CUiHooks CUiHooks::Interactive() {
    CUiHooks h;
    h.keyboardModifiers = [] { return QGuiApplication::queryKeyboardModifiers(); };
    h.beep = [](int, int) { QApplication::beep(); };
    h.browseCounters = [](QWidget* owner, CounterBrowseConfig& config) {
        CCounterBrowser dialog(config, owner);
        dialog.exec();
    };
    return h;
}

CAppContext::CAppContext() : ui(CUiHooks::Interactive()) {
    FinishChartSettings(m_defaults, false, SystemWindowColour());
}

CAppContext::~CAppContext() {
    Close();
}

QString CAppContext::UseObjectLibrary() {
    const zyn::com::ServerLibraryUse library = zyn::com::UseOwnServerLibrary(ZYNTALLONOBJLib_TypeLib());
    const std::string notice = library.Notice();
    if (notice.empty()) return {};
    std::fprintf(stderr, "Tallon: %s\n", notice.c_str());
    QString text = QString::fromStdString(notice);
    text[0] = text[0].toUpper(); // a sentence of its own in the status pane
    return text;
}

CComPtr<IZynApp> CAppContext::App() {
    if (m_app) return m_app;
    if (!m_factory) {
        static std::once_flag once;
        std::call_once(once, [] { (void)UseObjectLibrary(); });
        CComPtr<IZynObjFactory> factory;
        if (FAILED(CoCreateInstance(CLSID_ZynObjFactory, nullptr, CLSCTX_ALL, IZynObjFactory::kIID,
                                    reinterpret_cast<void**>(&factory))))
            return nullptr;
        m_factory = factory;
    }
    CComPtr<IUnknown> unknown;
    // The sub-index only has to be unique to the process.
    const LONG subIndex = LONG(reinterpret_cast<std::uintptr_t>(this) & 0x7FFFFFFF);
    if (FAILED(m_factory->Create(1, subIndex, 0, &unknown)) || !unknown) return nullptr;
    CComPtr<IZynApp> app;
    if (FAILED(unknown.QueryInterface(&app))) return nullptr;
    m_app = app;
    return m_app;
}

CComPtr<IZynChart> CAppContext::NewDetachedChart() {
    if (!App() || !m_factory) return nullptr;
    // Factory index 2 makes a chart that no application object lists.
    CComPtr<IUnknown> unknown;
    if (FAILED(m_factory->Create(2, 0, 0, &unknown)) || !unknown) return nullptr;
    CComPtr<IZynChart> chart;
    if (FAILED(unknown.QueryInterface(&chart))) return nullptr;
    return chart;
}

void CAppContext::LoadFromRegistry() {
    m_settings.Load();
    std::unique_ptr<CZynRegistry, RegistryRelease> reg(GetUserReg(u"Settings"));
    if (!reg) return;
    ChartSettingsBytes bytes{};
    const int size = reg->SizeInBytes(u"ChartDefault");
    if (size <= 0 || size > int(bytes.size())) return;
    if (reg->ReadBinary(u"ChartDefault", bytes.data(), size) != size) return;
    ChartSettings loaded;
    if (!ReadChartSettings(bytes.data(), std::size_t(size), loaded)) return;
    FinishChartSettings(loaded, true, SystemWindowColour());
    CopySettings(m_defaults, loaded);
}

void CAppContext::SaveToRegistry() {
    m_settings.Save();
    std::unique_ptr<CZynRegistry, RegistryRelease> reg(GetUserReg(u"Settings"));
    if (!reg) return;
    RefreshStoredFonts(m_defaults);
    const ChartSettingsBytes bytes = WriteChartSettings(m_defaults);
    reg->Store(u"ChartDefault", bytes.data(), int(bytes.size()));
}

void CAppContext::Close() {
    m_settings.Close();
    m_app = nullptr;
    m_factory = nullptr;
}

void CAppContext::UnlockApp() {
    if (m_appLocks.fetch_sub(1) == 1 && whenUnlocked) whenUnlocked();
}

bool CAppContext::ShiftDown() const {
    return ui.keyboardModifiers && (ui.keyboardModifiers() & Qt::ShiftModifier);
}

bool CAppContext::NoPrompts() const {
    return ShiftDown() || m_settings.Get(CNumberedSettings::kExpertMode) != 0;
}

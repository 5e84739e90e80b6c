#include "CChartWindowObject.h"

#include "document/CTallonChart.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"

#include <map>
#include <mutex>

namespace {

constexpr char16_t kSource[] = u"Tallon.Chart";

// The live object of each window. Entries are plain pointers that the object removes when it goes;
// a lookup only takes a reference from an object that is not already going.
std::mutex g_mutex;
std::map<const CTallonChart*, CChartWindowObject*> g_objects;

} // namespace

CComPtr<CChartWindowObject> CChartWindowObject::For(CTallonChart* doc, IAutomationHost& host,
                                                    bool closesWindow) {
    if (!doc) return nullptr;
    std::lock_guard lock(g_mutex);
    auto it = g_objects.find(doc);
    // An entry of a closed window whose document's address came back belongs to that window.
    if (it != g_objects.end() && it->second->m_doc == doc && it->second->InternalTryAddRef()) {
        CComPtr<CChartWindowObject> known;
        known.Attach(it->second);
        if (closesWindow) known->m_closesWindow = true;
        return known;
    }
    CComPtr<CChartWindowObject> made(new CChartWindowObject(doc, host));
    made->m_closesWindow = closesWindow;
    g_objects[doc] = made.p;
    return made;
}

CChartWindowObject::CChartWindowObject(CTallonChart* doc, IAutomationHost& host)
    : m_doc(doc), m_key(doc), m_host(host) {}

CChartWindowObject::~CChartWindowObject() {
    {
        std::lock_guard lock(g_mutex);
        auto it = g_objects.find(m_key);
        if (it != g_objects.end() && it->second == this) g_objects.erase(it);
    }
    if (!m_closesWindow || !m_doc) return;
    // The window made for automation goes with its last reference; not from inside the release,
    // which may come from deep inside a call.
    IAutomationHost* host = &m_host;
    CTallonChart* doc = m_doc;
    QMetaObject::invokeMethod(
        doc, [host, doc] { host->CloseChartWindow(doc); }, Qt::QueuedConnection);
}

CTallonChart* CChartWindowObject::Document() {
    if (!m_doc) zyn::com::RaiseError(CO_E_OBJNOTCONNECTED, u"The chart window has been closed", kSource);
    return m_doc;
}

template <class T> HRESULT CChartWindowObject::Get(T* out, T (CTallonChart::*getter)() const) {
    if (!out) return E_POINTER;
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    *out = (doc->*getter)();
    return S_OK;
}

template <class T> HRESULT CChartWindowObject::Put(T value, void (CTallonChart::*setter)(T)) {
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    (doc->*setter)(value);
    m_host.RepaintChartWindow(doc);
    return S_OK;
}

HRESULT CChartWindowObject::GetFlag(VARIANT_BOOL* out, bool (CTallonChart::*getter)() const) {
    bool on = false;
    const HRESULT hr = Get(&on, getter);
    if (SUCCEEDED(hr)) *out = on ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

HRESULT CChartWindowObject::PutFlag(VARIANT_BOOL value, void (CTallonChart::*setter)(bool)) {
    return Put(value != VARIANT_FALSE, setter);
}

HRESULT CChartWindowObject::Frame(IAutomationHost::FrameCommand command) {
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    m_host.PostChartFrameCommand(doc, command);
    return S_OK;
}

HRESULT CChartWindowObject::GetApp(IUnknown** o_ppApp) {
    if (!o_ppApp) return E_POINTER;
    *o_ppApp = nullptr;
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    if (!doc->App()) return S_OK;
    return doc->App()->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(o_ppApp));
}

HRESULT CChartWindowObject::Refresh() {
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    doc->UpdateAllViews(CTallonChart::kHintRefresh);
    return S_OK;
}

HRESULT CChartWindowObject::FileSave(BSTR i_Path, VARIANT_BOOL* o_pSaved) {
    if (!o_pSaved) return E_POINTER;
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    const std::u16string_view path = zyn::com::BstrView(i_Path);
    const bool saved =
        !path.empty() && m_host.SaveChartWindow(doc, QString::fromUtf16(path.data(), qsizetype(path.size())));
    *o_pSaved = saved ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CChartWindowObject::Maximize() {
    return Frame(IAutomationHost::FrameCommand::Maximize);
}
HRESULT CChartWindowObject::Minimize() {
    return Frame(IAutomationHost::FrameCommand::Minimize);
}
HRESULT CChartWindowObject::Restore() {
    return Frame(IAutomationHost::FrameCommand::Restore);
}

HRESULT CChartWindowObject::get_ColorBackGround(LONG* o_pColor) {
    return Get(o_pColor, &CTallonChart::ColorBackGround);
}
HRESULT CChartWindowObject::put_ColorBackGround(LONG i_Color) {
    return Put(i_Color, &CTallonChart::SetColorBackGround);
}
HRESULT CChartWindowObject::get_ColorGrid(LONG* o_pColor) {
    return Get(o_pColor, &CTallonChart::ColorGrid);
}
HRESULT CChartWindowObject::put_ColorGrid(LONG i_Color) {
    return Put(i_Color, &CTallonChart::SetColorGrid);
}
HRESULT CChartWindowObject::get_ColorText(LONG* o_pColor) {
    return Get(o_pColor, &CTallonChart::ColorText);
}
HRESULT CChartWindowObject::put_ColorText(LONG i_Color) {
    return Put(i_Color, &CTallonChart::SetColorText);
}
HRESULT CChartWindowObject::get_XMinorTicks(VARIANT_BOOL* o_pOn) {
    return GetFlag(o_pOn, &CTallonChart::XMinorTicks);
}
HRESULT CChartWindowObject::put_XMinorTicks(VARIANT_BOOL i_On) {
    return PutFlag(i_On, &CTallonChart::SetXMinorTicks);
}
HRESULT CChartWindowObject::get_XMajorTicks(VARIANT_BOOL* o_pOn) {
    return GetFlag(o_pOn, &CTallonChart::XMajorTicks);
}
HRESULT CChartWindowObject::put_XMajorTicks(VARIANT_BOOL i_On) {
    return PutFlag(i_On, &CTallonChart::SetXMajorTicks);
}
HRESULT CChartWindowObject::get_XGridLines(VARIANT_BOOL* o_pOn) {
    return GetFlag(o_pOn, &CTallonChart::XGridLines);
}
HRESULT CChartWindowObject::put_XGridLines(VARIANT_BOOL i_On) {
    return PutFlag(i_On, &CTallonChart::SetXGridLines);
}
HRESULT CChartWindowObject::get_YGridLines(VARIANT_BOOL* o_pOn) {
    return GetFlag(o_pOn, &CTallonChart::YGridLines);
}
HRESULT CChartWindowObject::put_YGridLines(VARIANT_BOOL i_On) {
    return PutFlag(i_On, &CTallonChart::SetYGridLines);
}
HRESULT CChartWindowObject::get_YMajorTicks(VARIANT_BOOL* o_pOn) {
    return GetFlag(o_pOn, &CTallonChart::YMajorTicks);
}
HRESULT CChartWindowObject::put_YMajorTicks(VARIANT_BOOL i_On) {
    return PutFlag(i_On, &CTallonChart::SetYMajorTicks);
}
HRESULT CChartWindowObject::get_YMinorTicks(VARIANT_BOOL* o_pOn) {
    return GetFlag(o_pOn, &CTallonChart::YMinorTicks);
}
HRESULT CChartWindowObject::put_YMinorTicks(VARIANT_BOOL i_On) {
    return PutFlag(i_On, &CTallonChart::SetYMinorTicks);
}
HRESULT CChartWindowObject::get_TickSize(ULONG* o_pSize) {
    return Get(o_pSize, &CTallonChart::TickSize);
}
HRESULT CChartWindowObject::put_TickSize(ULONG i_Size) {
    return Put(i_Size, &CTallonChart::SetTickSize);
}
HRESULT CChartWindowObject::get_TimeFormat(LONG* o_pFormat) {
    return Get(o_pFormat, &CTallonChart::TimeFormat);
}
HRESULT CChartWindowObject::put_TimeFormat(LONG i_Format) {
    // The document updates its views itself (hint 2) for this one.
    CTallonChart* doc = Document();
    if (!doc) return CO_E_OBJNOTCONNECTED;
    doc->SetTimeFormat(i_Format);
    return S_OK;
}

#include "ZynEvent.h"

#include "utils/ZynIdentifier.h"
#include "utils/ZynTime.h"

namespace {

HRESULT DateOut(double value, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    out->vt = VT_DATE;
    out->date = value;
    return S_OK;
}

} // namespace

CZynEvent::CZynEvent(std::u16string_view name, CZynEventOwner* owner)
    : m_start(GetTimeAsDouble(nullptr)), m_name(name), m_owner(owner) {
    char16_t id[128] = {};
    if (CreateIdentifier(id, 128)) m_identifier = id;
}

void CZynEvent::ClearOwner() {
    std::lock_guard lock(m_mutex);
    m_owner = nullptr;
}

double CZynEvent::StartDate() const {
    std::lock_guard lock(m_mutex);
    return m_start;
}

double CZynEvent::StopDate() const {
    std::lock_guard lock(m_mutex);
    return m_stop;
}

std::u16string CZynEvent::Name() const {
    std::lock_guard lock(m_mutex);
    return std::u16string(m_name.View());
}

std::u16string CZynEvent::Comment() const {
    std::lock_guard lock(m_mutex);
    return std::u16string(m_comment.View());
}

void CZynEvent::Restore(double start, double stop, std::u16string_view name, std::u16string_view comment) {
    std::lock_guard lock(m_mutex);
    m_start = start;
    m_stop = stop;
    m_name = CComBSTR(name);
    m_comment = CComBSTR(comment);
}

HRESULT CZynEvent::get_Name(BSTR* pName) {
    std::lock_guard lock(m_mutex);
    return m_name.CopyTo(pName);
}

HRESULT CZynEvent::put_Name(BSTR newVal) {
    std::lock_guard lock(m_mutex);
    m_name = newVal;
    return S_OK;
}

HRESULT CZynEvent::get_StartTime(VARIANT* pTime) {
    return DateOut(StartDate(), pTime);
}
HRESULT CZynEvent::get_StopTime(VARIANT* pTime) {
    return DateOut(StopDate(), pTime);
}

HRESULT CZynEvent::get_Identifier(BSTR* pVal) {
    std::lock_guard lock(m_mutex);
    return m_identifier.CopyTo(pVal);
}

HRESULT CZynEvent::get_Comment(BSTR* pComment) {
    std::lock_guard lock(m_mutex);
    return m_comment.CopyTo(pComment);
}

HRESULT CZynEvent::put_Comment(BSTR newVal) {
    std::lock_guard lock(m_mutex);
    m_comment = newVal;
    return S_OK;
}

HRESULT CZynEvent::get_InProgress(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = StopDate() == 0.0 ? 1 : 0;
    return S_OK;
}

HRESULT CZynEvent::Stop() {
    // Under the event's lock the stop time is set once and the owner cannot go away meanwhile: a
    // concurrent stop by the chart and by a client record one time and one notification.
    std::lock_guard lock(m_mutex);
    if (m_stop != 0.0) return S_OK;
    m_stop = GetTimeAsDouble(nullptr);
    if (m_stop == 0.0) m_stop = 1e-9; // never "in progress" again, even at the epoch itself
    if (m_owner) m_owner->EventStopped();
    return S_OK;
}

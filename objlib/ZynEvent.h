#pragma once
// An event marks a span of wall-clock time on a chart: it starts when made and ends when stopped,
// by a client or when its chart stops running. Times are absolute dates, unaffected by the chart's
// start time.

#include "ZynDispatchImpl.h"
#include "objlib/ZynInterfaces.h"

#include "com/ccombstr.h"

#include <memory>
#include <mutex>

// What an event tells its chart. The chart implements it without taking its tree lock (raising
// change bits does not lock), so an event may call it from any thread while holding its own lock.
class CZynEventOwner {
public:
    virtual void EventStopped() = 0;

protected:
    ~CZynEventOwner() = default;
};

class CZynEvent final : public zyn::com::ComRefCount, public CZynDispatchImpl<IZynEvent> {
public:
    ZYN_COM_IUNKNOWN(CZynEvent, IZynEvent, IDispatch)

    // A new event started now, named `name`, belonging to `owner` (null for a free event).
    CZynEvent(std::u16string_view name = {}, CZynEventOwner* owner = nullptr);

    // The chart lets the event go (detached, cleared, or the chart is being destroyed): after this
    // returns the event never touches the chart again.
    void ClearOwner();

    double StartDate() const;
    double StopDate() const;
    std::u16string Name() const;
    std::u16string Comment() const;
    // For loading a record: the stored dates and texts replace the fresh ones.
    void Restore(double start, double stop, std::u16string_view name, std::u16string_view comment);

    HRESULT get_Name(BSTR* pName) override;
    HRESULT put_Name(BSTR newVal) override;
    HRESULT get_StartTime(VARIANT* pTime) override;
    HRESULT get_StopTime(VARIANT* pTime) override;
    HRESULT get_Identifier(BSTR* pVal) override;
    HRESULT get_Comment(BSTR* pComment) override;
    HRESULT put_Comment(BSTR newVal) override;
    HRESULT get_InProgress(LONG* pVal) override;
    HRESULT Stop() override;

private:
    mutable std::mutex m_mutex;
    double m_start;
    double m_stop = 0.0;
    CComBSTR m_name;
    CComBSTR m_comment;
    CComBSTR m_identifier;
    CZynEventOwner* m_owner;
};

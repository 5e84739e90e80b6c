#pragma once
// CChartWindowObject: a chart window as an automation object (ITallonChart): the document's display
// settings, saving, and the window's frame. One object per window while anything holds it, so that
// a script and the chart's peer registration share one reference count, as the document's own
// dispatch interface does.
//
// A window made by an automation application object closes when its object is finally released:
// the chart gives up its peer when no client holds the chart any more, the document then lets go of
// its peer reference, and a script holding the window keeps it open until it lets go too. Calls on
// an object whose window the user closed fail with a clear error.

#include "AutomationHost.h"

#include "automation/TallonInterfaces.h"

#include "com/unknown.h"

#include <QPointer>

class CTallonChart;

class CChartWindowObject final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<ITallonChart> {
public:
    ZYN_COM_IUNKNOWN(CChartWindowObject, ITallonChart, IDispatch)

    // The window's object, made when none is alive. `closesWindow` marks a window made for
    // automation: its object's final release closes it.
    static CComPtr<CChartWindowObject> For(CTallonChart* doc, IAutomationHost& host,
                                           bool closesWindow = false);
    ~CChartWindowObject() override;

    HRESULT GetApp(IUnknown** o_ppApp) override;
    HRESULT Refresh() override;
    HRESULT FileSave(BSTR i_Path, VARIANT_BOOL* o_pSaved) override;
    HRESULT Maximize() override;
    HRESULT Minimize() override;
    HRESULT Restore() override;
    HRESULT get_ColorBackGround(LONG* o_pColor) override;
    HRESULT put_ColorBackGround(LONG i_Color) override;
    HRESULT get_ColorGrid(LONG* o_pColor) override;
    HRESULT put_ColorGrid(LONG i_Color) override;
    HRESULT get_ColorText(LONG* o_pColor) override;
    HRESULT put_ColorText(LONG i_Color) override;
    HRESULT get_XMinorTicks(VARIANT_BOOL* o_pOn) override;
    HRESULT put_XMinorTicks(VARIANT_BOOL i_On) override;
    HRESULT get_XMajorTicks(VARIANT_BOOL* o_pOn) override;
    HRESULT put_XMajorTicks(VARIANT_BOOL i_On) override;
    HRESULT get_XGridLines(VARIANT_BOOL* o_pOn) override;
    HRESULT put_XGridLines(VARIANT_BOOL i_On) override;
    HRESULT get_YGridLines(VARIANT_BOOL* o_pOn) override;
    HRESULT put_YGridLines(VARIANT_BOOL i_On) override;
    HRESULT get_YMajorTicks(VARIANT_BOOL* o_pOn) override;
    HRESULT put_YMajorTicks(VARIANT_BOOL i_On) override;
    HRESULT get_YMinorTicks(VARIANT_BOOL* o_pOn) override;
    HRESULT put_YMinorTicks(VARIANT_BOOL i_On) override;
    HRESULT get_TickSize(ULONG* o_pSize) override;
    HRESULT put_TickSize(ULONG i_Size) override;
    HRESULT get_TimeFormat(LONG* o_pFormat) override;
    HRESULT put_TimeFormat(LONG i_Format) override;

private:
    CChartWindowObject(CTallonChart* doc, IAutomationHost& host);

    // The document, or null with the error raised when its window has closed.
    CTallonChart* Document();
    template <class T> HRESULT Get(T* out, T (CTallonChart::*getter)() const);
    template <class T> HRESULT Put(T value, void (CTallonChart::*setter)(T));
    HRESULT GetFlag(VARIANT_BOOL* out, bool (CTallonChart::*getter)() const);
    HRESULT PutFlag(VARIANT_BOOL value, void (CTallonChart::*setter)(bool));
    HRESULT Frame(IAutomationHost::FrameCommand command);

    QPointer<CTallonChart> m_doc;
    CTallonChart* m_key; // the registry's key, kept after the document is gone
    IAutomationHost& m_host;
    bool m_closesWindow = false;
};

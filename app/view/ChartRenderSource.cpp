#include "ChartRenderSource.h"

#include "display/WideText.h"
#include "document/CTallonChart.h"

#include "com/ccombstr.h"
#include "com/variant.h"
#include "display/VariantDate.h"

namespace {

QString IdentifierOf(IZynChannel* c) {
    CComBSTR id;
    if (!c || FAILED(c->get_Identifier(&id))) return {};
    return FromBstr(id);
}

double DateOf(IZynEvent* e, HRESULT (IZynEvent::*getter)(VARIANT*)) {
    CComVariant v;
    if (FAILED((e->*getter)(&v))) return 0.0;
    return VariantDate(v);
}

} // namespace

ChartRenderInput GatherRenderInput(CTallonChart& doc) {
    ChartRenderInput in;
    in.settings = &doc.Settings();
    in.chartStartTime = doc.StartTime();
    in.chartLastTime = doc.LastTime();
    in.documentCreated = doc.Created();
    in.windowStart = doc.WindowStart();
    in.windowEnd = doc.WindowEnd();
    const CChannelBarState& bar = doc.Context().channelBar;
    in.highlighting = !bar.highlightedChart.isEmpty() && bar.highlightedChart == doc.Identifier();
    const QString selected = IdentifierOf(doc.SelectedChannel());
    for (const CComPtr<IZynChannel>& c : doc.Channels()) {
        ChartChannelView v;
        LONG visible = 1, width = 0;
        OLE_COLOR colour = 0;
        c->get_Visible(&visible);
        c->get_Color(&colour);
        c->get_Width(&width);
        c->get_ScaleMin(&v.scaleMin);
        c->get_ScaleMax(&v.scaleMax);
        v.visible = visible != 0;
        v.color = COLORREF(colour);
        v.width = int(width);
        c->get_Data(&v.data);
        if (v.data) v.data.QueryInterface(&v.dataPrivate);
        c.QueryInterface(&v.bulk);
        v.identifier = IdentifierOf(c);
        const int index = int(in.channels.size());
        if (!selected.isEmpty() && v.identifier == selected) in.selectedChannel = index;
        if (in.highlighting && v.identifier == bar.highlightedChannel) in.highlightedChannel = index;
        in.channels.push_back(std::move(v));
    }
    for (const CComPtr<IZynEvent>& e : doc.Events()) {
        in.events.push_back({DateOf(e, &IZynEvent::get_StartTime), DateOf(e, &IZynEvent::get_StopTime)});
    }
    return in;
}

#include "ChannelPropertySheet.h"

#include "ChannelPage.h"
#include "CounterPage.h"
#include "DataPage.h"
#include "document/AppContext.h"

CChannelPropertySheet::CChannelPropertySheet(CAppContext& context, IZynChannel* channel,
                                             ChannelSheetHost host, QWidget* parent)
    : COptionSheet(QStringLiteral("Channel Properties"), parent), m_host(std::move(host)) {
    SetStatusSink(m_host.status);
    const COLORREF background = context.Settings().Get(CNumberedSettings::kLastViewBackground);
    AddPage(new CChannelPage(channel, background));
    AddPage(new CDataPage(channel));
    AddPage(new CCounterPage(channel));
}

void CChannelPropertySheet::AfterApply() {
    if (m_host.tick) m_host.tick();
}

int RunChannelProperties(CAppContext& context, IZynChannel* channel, const ChannelSheetHost& host,
                         QWidget* owner) {
    if (!channel) return -1;
    CComPtr<IZynChart> chart;
    if (channel->get_Chart(&chart) != S_OK || !chart) return -1;
    CChannelPropertySheet sheet(context, channel, host, owner);
    CNumberedSettings& settings = context.Settings();
    settings.Set(CNumberedSettings::kChannelSheetOpen, 1);
    const int result = sheet.exec();
    settings.Set(CNumberedSettings::kChannelSheetOpen, 0);
    return result;
}

#pragma once
// CChannelPropertySheet: "Channel Properties" (Channel, Data, Counter) of one channel. The pages
// set the channel's properties directly when applied. While the sheet runs, numbered setting
// 10006 is 1, so that the chart view refreshes the channel bar on every channel change.

#include "OptionSheet.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <functional>

class CAppContext;

struct ChannelSheetHost {
    COptionSheet::StatusSink status;
    // One tick of the main frame's timer after every apply (OK included), so that the channel
    // bar and the views show the changes at once.
    std::function<void()> tick;
};

class CChannelPropertySheet : public COptionSheet {
    Q_OBJECT
public:
    enum PageIndex { kChannelPage = 0, kDataPage, kCounterPage };

    CChannelPropertySheet(CAppContext& context, IZynChannel* channel, ChannelSheetHost host, QWidget* parent);

protected:
    void AfterApply() override;

private:
    ChannelSheetHost m_host;
};

// Runs the sheet for `channel`; nothing happens (and -1 is returned) when the channel no longer
// belongs to a chart.
int RunChannelProperties(CAppContext& context, IZynChannel* channel, const ChannelSheetHost& host,
                         QWidget* owner);

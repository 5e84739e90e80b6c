#include "DocTestUtil.h"
#include "document/CTallonChart.h"
#include "document/CommandActions.h"

#include "display/ChartColours.h"

#include "com/ccombstr.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override { ui.Install(ctx); }

    std::unique_ptr<CTallonChart> NewDoc() {
        auto doc = std::make_unique<CTallonChart>(ctx);
        doc->OnNewDocument();
        return doc;
    }

    static int CountHint(const QSignalSpy& spy, int hint) {
        int n = 0;
        for (const auto& args : spy)
            n += args.at(0).toInt() == hint;
        return n;
    }

    CAppContext ctx;
    FakeUi ui;
};

LONG Property(IZynChannel* c, HRESULT (IZynChannel::*getter)(LONG*)) {
    LONG v = -1;
    (c->*getter)(&v);
    return v;
}

TEST_F(DocumentTest, ANewDocumentOwnsAChartWithTheDefaultSettings) {
    ctx.DefaultChartSettings().ColorBackGround = 0x123456;
    ctx.DefaultChartSettings().sampleRate = 1500;
    auto doc = NewDoc();
    ASSERT_NE(doc->Chart(), nullptr);
    EXPECT_EQ(doc->Settings().ColorBackGround, 0x123456u);
    LONG rate = 0;
    doc->Chart()->get_Rate(&rate);
    EXPECT_EQ(rate, 1500);
    EXPECT_FALSE(doc->Title().isEmpty());
    EXPECT_EQ(doc->Title(), doc->Name());
    EXPECT_EQ(doc->Run(), 0);
    EXPECT_GT(doc->Created(), 40000.0);
}

TEST_F(DocumentTest, ChannelsGetThePaletteColourAndAWidthPerTen) {
    auto doc = NewDoc();
    for (int i = 0; i < 21; ++i)
        ASSERT_TRUE(doc->AddChannelByPath(i % 2 ? kMemPath : kCpuPath)) << i;
    const auto channels = doc->Channels();
    ASSERT_EQ(channels.size(), 21u);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        OLE_COLOR colour = 0;
        channels[i]->get_Color(&colour);
        EXPECT_EQ(COLORREF(colour), CTallonChart::DefaultChannelColours()[i % 10]) << i;
        EXPECT_EQ(Property(channels[i], &IZynChannel::get_Width), LONG(i / 10)) << i;
    }
    OLE_COLOR eleventh = 0;
    channels[10]->get_Color(&eleventh);
    EXPECT_EQ(COLORREF(eleventh), ZynRGB(255, 0, 0));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(DocumentTest, FirstChannelsStartTheChartLaterOnesLeaveRateAndRunAlone) {
    ctx.DefaultChartSettings().sampleRate = 700;
    auto doc = NewDoc();
    QSignalSpy status(doc.get(), &CTallonChart::statusMessage);
    ui.browsedPaths = {kCpuPath};
    doc->OnAddChannel();
    EXPECT_EQ(doc->ChannelCount(), 1);
    EXPECT_EQ(doc->Run(), 1);
    LONG rate = 0;
    doc->Chart()->get_Rate(&rate);
    EXPECT_EQ(rate, 700);
    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Added counter % Processor Time"));

    doc->Chart()->put_Run(0);
    doc->Chart()->put_Rate(3000);
    ui.browsedPaths = {kMemPath};
    doc->OnAddChannel();
    EXPECT_EQ(doc->ChannelCount(), 2);
    EXPECT_EQ(doc->Run(), 0);
    doc->Chart()->get_Rate(&rate);
    EXPECT_EQ(rate, 3000);
    EXPECT_EQ(doc->BrowseConfig(), nullptr);
}

TEST_F(DocumentTest, TheBrowserStopsAtTheFirstPathThatFailsValidation) {
    auto doc = NewDoc();
    ui.browsedPaths = {kCpuPath, QStringLiteral("\\No Such Object\\Nothing"), kMemPath};
    doc->OnAddChannel();
    EXPECT_EQ(doc->ChannelCount(), 1);
    ASSERT_EQ(ui.errors.size(), 1);
    EXPECT_EQ(ui.errors.front(), QStringLiteral("Unable to validate the counter you attempted to add."));
}

TEST_F(DocumentTest, BrowserDetailLevelAndUseCountFollowTheNumberedSettings) {
    auto doc = NewDoc();
    const struct {
        std::uint32_t setting;
        DWORD detail;
        bool costly;
    } cases[] = {{0, PERF_DETAIL_NOVICE, false},
                 {1, PERF_DETAIL_EXPERT, false},
                 {2, PERF_DETAIL_WIZARD, false},
                 {3, PERF_DETAIL_WIZARD, true}};
    for (const auto& c : cases) {
        ctx.Settings().Set(CNumberedSettings::kCounterDetail, c.setting);
        doc->OnAddChannel();
        EXPECT_EQ(ui.lastConfig.detailLevel, c.detail) << c.setting;
        EXPECT_EQ(ui.lastConfig.includeCostlyObjects, c.costly) << c.setting;
        EXPECT_EQ(ui.lastConfig.caption, QStringLiteral("Add Channels to Chart"));
    }
    EXPECT_EQ(ctx.Settings().Get(CNumberedSettings::kAddChannelUses), 4u);
    ui.shift = true;
    doc->OnAddChannel();
    EXPECT_EQ(ctx.Settings().Get(CNumberedSettings::kAddChannelUses), 0u);
}

TEST_F(DocumentTest, RerunAsksUnlessShiftOrExpertMode) {
    auto doc = NewDoc();
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    doc->Action(CTallonChart::kCmdSampleData)->trigger();
    CComPtr<IZynDataSet> data;
    doc->Channels().front()->get_Data(&data);
    auto count = [&] {
        LONG n = 0;
        data->get_Count(&n);
        return n;
    };
    ASSERT_EQ(count(), 1);

    ui.answerYes = false;
    doc->UpdateActions();
    ASSERT_TRUE(doc->Action(CTallonChart::kCmdRerunChart)->isEnabled());
    doc->Action(CTallonChart::kCmdRerunChart)->trigger();
    EXPECT_EQ(ui.questions, 1);
    EXPECT_EQ(count(), 1) << "No keeps the data";

    ui.shift = true;
    doc->OnRerunChart();
    EXPECT_EQ(ui.questions, 1) << "Shift skips the question";
    ui.shift = false;
    ctx.Settings().Set(CNumberedSettings::kExpertMode, 1);
    doc->OnRerunChart();
    EXPECT_EQ(ui.questions, 1) << "expert mode skips the question";
    EXPECT_EQ(doc->Run(), 1) << "the chart runs again";
}

TEST_F(DocumentTest, PauseSampleAndTheirUpdateHandlers) {
    auto doc = NewDoc();
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    QSignalSpy status(doc.get(), &CTallonChart::statusMessage);
    doc->UpdateActions();
    EXPECT_TRUE(doc->Action(CTallonChart::kCmdPauseChart)->isChecked());
    EXPECT_TRUE(doc->Action(CTallonChart::kCmdSampleData)->isEnabled());
    doc->OnPauseChart(); // not running: resumes
    EXPECT_EQ(doc->Run(), 1);
    doc->UpdateActions();
    EXPECT_FALSE(doc->Action(CTallonChart::kCmdPauseChart)->isChecked());
    EXPECT_FALSE(doc->Action(CTallonChart::kCmdSampleData)->isEnabled());
    doc->OnPauseChart();
    EXPECT_EQ(doc->Run(), 0);
    doc->SetModifiedFlag(false);
    doc->OnSampleData();
    EXPECT_TRUE(doc->IsModified());
    ASSERT_EQ(status.count(), 3);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Data collection has been resumed."));
    EXPECT_EQ(status.at(1).at(0).toString(), QStringLiteral("Data collection has been paused."));
    EXPECT_EQ(status.at(2).at(0).toString(), QStringLiteral("A data sample has been taken."));
}

TEST_F(DocumentTest, DeleteActsOnlyOnTheChannelBarsSelectionOfThisChart) {
    auto doc = NewDoc();
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    CComBSTR channelId;
    doc->Channels().front()->get_Identifier(&channelId);
    QSignalSpy spy(doc.get(), &CTallonChart::deleteChannelRequested);
    QAction* del = doc->Action(CTallonChart::kCmdDeleteChannel);

    ctx.channelBar.selectedChart = QStringLiteral("{another chart}");
    ctx.channelBar.selectedChannel = QString::fromStdString(channelId.ToUtf8());
    doc->UpdateActions();
    EXPECT_FALSE(del->isEnabled());
    EXPECT_EQ(del->text(), QStringLiteral("&Delete\tDel"));

    ctx.channelBar.selectedChart = doc->Identifier();
    doc->UpdateActions();
    EXPECT_TRUE(del->isEnabled());
    EXPECT_EQ(del->text().toStdString(), "&Delete (Channel-1)\tDel")
        << "the channel's name, not its counter's";
    del->trigger();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), doc->Identifier());
}

TEST_F(DocumentTest, WindowAutomationMembers) {
    auto doc = NewDoc();
    QSignalSpy views(doc.get(), &CTallonChart::updateViews);
    doc->SetTimeFormat(9);
    EXPECT_EQ(doc->Settings().timeMode, 0u);
    EXPECT_EQ(doc->Settings().absoluteTimeFormat, 1u);
    EXPECT_EQ(doc->TimeFormat(), 9);
    doc->SetTimeFormat(2);
    EXPECT_EQ(doc->Settings().timeMode, 1u);
    EXPECT_EQ(doc->Settings().relativeTimeFormat, 2u);
    EXPECT_EQ(doc->TimeFormat(), 2);
    EXPECT_EQ(CountHint(views, CTallonChart::kHintRelayout), 2);

    doc->Settings().ColorBackGround = ZynRGB(200, 10, 10);
    doc->Settings().gridColourAuto = 1;
    EXPECT_EQ(COLORREF(doc->ColorGrid()), ZynRGB(120, 90, 90)) << "derived while automatic";
    doc->SetColorGrid(int(ZynRGB(1, 2, 3)));
    EXPECT_EQ(doc->Settings().gridColourAuto, 0);
    EXPECT_EQ(COLORREF(doc->ColorGrid()), ZynRGB(1, 2, 3));
    doc->Settings().textColourAuto = 1;
    EXPECT_EQ(COLORREF(doc->ColorText()), ZynRGB(0, 245, 245));
    doc->SetYGridLines(true);
    EXPECT_EQ(doc->Settings().YGridLines, 1);
    doc->SetTickSize(3u);
    EXPECT_EQ(doc->Settings().TickSize, 3u);
    EXPECT_EQ(CountHint(views, CTallonChart::kHintRelayout), 2) << "other puts do not update the views";
}

TEST_F(DocumentTest, ClosingWithShiftOrExpertModeDropsTheSaveQuestion) {
    auto doc = NewDoc();
    doc->SetModifiedFlag(true);
    EXPECT_FALSE(doc->CanCloseWithoutPrompt());
    EXPECT_TRUE(doc->IsModified());
    ui.shift = true;
    EXPECT_TRUE(doc->CanCloseWithoutPrompt());
    EXPECT_FALSE(doc->IsModified());
    ui.shift = false;
    doc->SetModifiedFlag(true);
    ctx.Settings().Set(CNumberedSettings::kExpertMode, 1);
    EXPECT_TRUE(doc->CanCloseWithoutPrompt());
}

// The notification path: chart event -> ChrtNtfy thread -> queued call -> OnChartNotify.

TEST_F(DocumentTest, ABurstOfSamplesGivesOneViewUpdate) {
    auto doc = NewDoc();
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    QSignalSpy views(doc.get(), &CTallonChart::updateViews);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountHint(views, CTallonChart::kHintChartNotify) > 0; }, 3000))
        << "the channel addition is notified";
    views.clear();
    for (int i = 0; i < 5; ++i)
        doc->Chart()->Sample();
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountHint(views, CTallonChart::kHintChartNotify) > 0; }, 3000));
    EXPECT_FALSE(views.wait(500)) << "nothing follows the one update";
    EXPECT_EQ(CountHint(views, CTallonChart::kHintChartNotify), 1);
    // The changes the update reported are cleared afterwards.
    CComPtr<IZynChartPrivate> priv;
    ASSERT_EQ(CComPtr<IZynChart>(doc->Chart()).QueryInterface(&priv), S_OK);
    LONG aggregate = -1;
    priv->GetAggregatePropChanges(&aggregate);
    EXPECT_EQ(aggregate, 0);
}

// A change raised on another thread while the views are running (the last release of a client's
// chart lets its window go that way) reaches the views with the next notification.
TEST_F(DocumentTest, AChangeRaisedWhileTheViewsRunIsNotClearedUnseen) {
    auto doc = NewDoc();
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    doc->Chart()->put_Run(0);
    QSignalSpy changed(doc.get(), &CTallonChart::chartChanged);
    ASSERT_TRUE(changed.wait(3000)) << "the channel addition is notified";
    CComPtr<IZynChannel> channel = doc->Channels().front();
    CComPtr<IZynChartPrivate> priv;
    ASSERT_EQ(CComPtr<IZynChart>(doc->Chart()).QueryInterface(&priv), S_OK);
    const auto aggregate = [&] {
        LONG bits = 0;
        priv->GetAggregatePropChanges(&bits);
        return bits;
    };
    LONG raised = 0;
    LONG seenLater = 0;
    bool raising = true;
    QObject::connect(doc.get(), &CTallonChart::updateViews, doc.get(), [&](int hint) {
        if (hint != CTallonChart::kHintChartNotify) return;
        if (!raising) {
            seenLater |= aggregate();
            return;
        }
        raising = false;
        const LONG before = aggregate();
        std::thread([&] { channel->put_Color(0x123456); }).join();
        raised = aggregate() & ~before;
    });
    doc->Chart()->put_Name(CComBSTR(u"First"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !raising; }, 3000));
    ASSERT_NE(raised, 0) << "a new colour raises a change";
    EXPECT_TRUE(QTest::qWaitFor([&] { return (seenLater & raised) == raised; }, 3000))
        << "the views never saw the change raised while they ran";
}

// "Add common counters": memory counts in thousands of megabytes and would sit far above a scale
// made for percentages until the user autoscaled it.
TEST_F(DocumentTest, CommonCountersAreScaledToTheirDataOnceTheyHaveTwoSamples) {
    auto doc = NewDoc();
    doc->AddCommonCounters({kMemPath, kCpuPath});
    ASSERT_EQ(doc->ChannelCount(), 2);
    CComPtr<IZynChannel> memory = doc->Channels().front();
    double initialMax = 0;
    memory->get_ScaleMax(&initialMax);
    QSignalSpy views(doc.get(), &CTallonChart::updateViews);
    const auto sampleAndWait = [&] {
        views.clear();
        doc->Chart()->Sample();
        return QTest::qWaitFor([&] { return CountHint(views, CTallonChart::kHintChartNotify) > 0; }, 3000);
    };
    ASSERT_TRUE(sampleAndWait());
    double max = 0;
    memory->get_ScaleMax(&max);
    EXPECT_EQ(max, initialMax) << "one sample says little about the range";
    ASSERT_TRUE(sampleAndWait());
    CComPtr<IZynDataSet> data;
    ASSERT_EQ(memory->get_Data(&data), S_OK);
    double lo = 0, hi = 0, scaleMin = 0;
    data->get_Min(&lo);
    data->get_Max(&hi);
    memory->get_ScaleMin(&scaleMin);
    memory->get_ScaleMax(&max);
    EXPECT_LE(scaleMin, lo);
    EXPECT_GE(max, hi);
    EXPECT_NE(max, initialMax);
    EXPECT_GE(CountHint(views, CTallonChart::kHintSettings), 1) << "the views show the new scale";

    // Later samples leave a scale the user has set alone.
    memory->put_ScaleMax(initialMax);
    ASSERT_TRUE(sampleAndWait());
    memory->get_ScaleMax(&max);
    EXPECT_EQ(max, initialMax);
}

TEST_F(DocumentTest, RenamingTheChartRetitlesTheWindowUnlessUpdatesAreFrozen) {
    auto doc = NewDoc();
    QSignalSpy titles(doc.get(), &CTallonChart::titleChanged);
    doc->SetFreezeUpdates(true);
    doc->Chart()->put_Name(CComBSTR(u"Frozen"));
    QSignalSpy changed(doc.get(), &CTallonChart::chartChanged);
    ASSERT_TRUE(changed.wait(3000));
    EXPECT_EQ(titles.count(), 0);
    doc->SetFreezeUpdates(false);
    doc->Chart()->put_Name(CComBSTR(u"Disk load"));
    ASSERT_TRUE(titles.wait(3000));
    EXPECT_EQ(doc->Title(), QStringLiteral("Disk load"));
}

TEST_F(DocumentTest, NoNotificationOnceTheMainFrameIsGone) {
    auto doc = NewDoc();
    QSignalSpy changed(doc.get(), &CTallonChart::chartChanged);
    ctx.SetMainFrameGone(true);
    doc->Chart()->Sample();
    EXPECT_FALSE(changed.wait(500));
    ctx.SetMainFrameGone(false);
}

TEST_F(DocumentTest, AQueuedNotificationNeverReachesAClosedDocument) {
    auto doc = NewDoc();
    CComPtr<IZynChart> chart(doc->Chart());
    CComPtr<IZynChartPrivate> priv;
    ASSERT_EQ(chart.QueryInterface(&priv), S_OK);
    chart->Sample();
    // Without running the event loop the call stays queued; wait until the thread queued it.
    QElapsedTimer timer;
    timer.start();
    while (doc->NotificationsPosted() == 0 && timer.elapsed() < 5000)
        std::this_thread::yield();
    ASSERT_EQ(doc->NotificationsPosted(), 1u);
    timer.restart();
    doc.reset();
    EXPECT_LT(timer.elapsed(), 1000) << "closing does not wait out the delivery limit";
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    // OnChartNotify would have cleared the chart's changes.
    LONG changed = 0;
    priv->GetChangedProperty(&changed);
    EXPECT_NE(changed & 0x80, 0) << "the sample's change was never handled by a closed document";
}

TEST_F(DocumentTest, SelectedChannelFollowsTheChannelBarAndUpdatesViews) {
    auto doc = NewDoc();
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    CComBSTR id;
    doc->Channels().front()->get_Identifier(&id);
    QSignalSpy views(doc.get(), &CTallonChart::updateViews);
    ctx.channelBar.selectedChart = doc->Identifier();
    ctx.channelBar.selectedChannel = QString::fromStdString(id.ToUtf8());
    doc->SyncSelectedChannel();
    EXPECT_NE(doc->SelectedChannel(), nullptr);
    ctx.channelBar.selectedChart.clear();
    doc->SyncSelectedChannel();
    EXPECT_EQ(doc->SelectedChannel(), nullptr);
    EXPECT_EQ(CountHint(views, CTallonChart::kHintSelectedChannel), 2);
    doc->SyncSelectedChannel();
    EXPECT_EQ(CountHint(views, CTallonChart::kHintSelectedChannel), 2) << "no change, no update";
}

} // namespace

// The application object and the chart window object in-process, over a host that keeps chart
// documents without frames: their members as the type library declares them, the windows they make
// and link, the chart's peer registration that lets such a window close, and a window that is gone.

#include "automation/CChartWindowObject.h"
#include "automation/CCoApp.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"
#include "exchange/CsvImport.h"
#include "net/prometheus_api.h"
#include "testing/PrometheusProcesses.h"
#include "testing/TempSettingsStore.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <QDateTime>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// Chart documents without windows; what the automation objects asked of it is recorded.
class FakeHost final : public IAutomationHost {
public:
    explicit FakeHost(CAppContext& context) : m_context(context) {}
    ~FakeHost() = default;

    CTallonChart* NewChartWindow() override {
        docs.push_back(std::make_unique<CTallonChart>(m_context));
        docs.back()->OnNewDocument();
        return docs.back().get();
    }
    CTallonChart* NewChartWindowFor(IZynChart* chart) override {
        CTallonChart* doc = NewChartWindow();
        doc->AttachChart(chart);
        return doc;
    }
    CTallonChart* OpenChartWindow(const QString& path) override {
        opened << path;
        return nullptr;
    }
    bool SaveChartWindow(CTallonChart*, const QString& path) override {
        saved << path;
        return saveWorks;
    }
    void CloseChartWindow(CTallonChart* doc) override {
        for (auto it = docs.begin(); it != docs.end(); ++it)
            if (it->get() == doc) {
                docs.erase(it);
                ++closed;
                return;
            }
    }
    void RepaintChartWindow(CTallonChart*) override { ++repaints; }
    std::vector<CTallonChart*> ChartWindows() const override {
        std::vector<CTallonChart*> out;
        for (const auto& d : docs)
            out.push_back(d.get());
        return out;
    }
    bool HasMainFrame() const override { return mainFrame; }
    void ShowStatusText(const QString& text) override { status << text; }
    void CascadeWindows() override { frameCalls << QStringLiteral("cascade"); }
    void TileWindows() override { frameCalls << QStringLiteral("tile"); }
    void PostMainFrameCommand(FrameCommand c) override {
        frameCalls << QStringLiteral("main %1").arg(int(c));
    }
    void PostChartFrameCommand(CTallonChart*, FrameCommand c) override {
        frameCalls << QStringLiteral("chart %1").arg(int(c));
    }
    void Quit() override {}

    std::vector<std::unique_ptr<CTallonChart>> docs;
    QStringList opened, saved, status, frameCalls;
    bool saveWorks = true;
    bool mainFrame = true;
    int closed = 0;
    int repaints = 0;

private:
    CAppContext& m_context;
};

QString Text(const CComBSTR& b) {
    return QString::fromUtf16(b.View().data(), qsizetype(b.View().size()));
}

CComPtr<IZynChart> AsChart(IUnknown* unknown) {
    CComPtr<IZynChart> chart;
    if (unknown) unknown->QueryInterface(IZynChart::kIID, reinterpret_cast<void**>(&chart));
    return chart;
}

LONG PeerRemoved(IZynChart* chart) {
    CComPtr<IZynChartPrivate> priv;
    chart->QueryInterface(IZynChartPrivate::kIID, reinterpret_cast<void**>(&priv));
    LONG removed = -1;
    priv->PeerWindowRemoved(&removed);
    return removed;
}

class AutomationObjects : public ::testing::Test {
protected:
    void SetUp() override { m_app = new CCoApp(m_context, m_host); }
    void TearDown() override {
        m_app.Release();
        m_host.docs.clear();
        QCoreApplication::sendPostedEvents();
    }

    CAppContext m_context;
    FakeHost m_host{m_context};
    CComPtr<CCoApp> m_app;
};

TEST(AutomationTypeLibrary, MembersHaveTheDispatchIdsOfTheirOrder) {
    const zyn::com::DispInterface& app = ICoApp::TypeTable();
    const char16_t* appNames[] = {u"Charts",          u"StatusText",         u"AddChart",    u"Describe",
                                  u"FindChart",       u"CascadeWindows",     u"TileWindows", u"LoadChart",
                                  u"FindChartWindow", u"FileOpen",           u"Maximize",    u"Restore",
                                  u"Minimize",        u"LoadChartFromString"};
    ASSERT_EQ(app.members.size(), std::size(appNames));
    for (std::size_t i = 0; i < app.members.size(); ++i) {
        EXPECT_EQ(std::u16string_view(app.members[i].name), appNames[i]);
        EXPECT_EQ(app.members[i].id, DISPID(i + 1));
    }
    EXPECT_EQ(app.members[0].kind, zyn::com::MemberKind::PropGet) << "Charts is read-only";
    EXPECT_EQ(app.members[1].kind, zyn::com::MemberKind::PropPut) << "StatusText is write-only";
    EXPECT_EQ(ICoApp::kIID, zyn::com::MakeGuid("2733539F-30F5-4198-92EB-777D998A9ED3"));
    // The later version adds its members after the first version's, which keep their ids.
    const zyn::com::DispInterface& app2 = ICoApp2::TypeTable();
    LPOLESTR import[] = {const_cast<LPOLESTR>(u"ImportPrometheus")};
    DISPID importId = DISPID_UNKNOWN;
    EXPECT_EQ(zyn::com::DispGetIDsOfNames(app2, import, 1, &importId), S_OK);
    EXPECT_EQ(importId, 15);
    for (std::size_t i = 0; i < std::size(appNames); ++i) {
        LPOLESTR name[] = {const_cast<LPOLESTR>(appNames[i])};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(zyn::com::DispGetIDsOfNames(app2, name, 1, &id), S_OK);
        EXPECT_EQ(id, DISPID(i + 1));
    }

    const zyn::com::DispInterface& window = ITallonChart::TypeTable();
    const char16_t* windowNames[] = {
        u"GetApp",          u"Refresh",     u"FileSave",    u"Maximize",    u"Minimize",    u"Restore",
        u"ColorBackGround", u"ColorGrid",   u"ColorText",   u"XMinorTicks", u"XMajorTicks", u"XGridLines",
        u"YGridLines",      u"YMajorTicks", u"YMinorTicks", u"TickSize",    u"TimeFormat"};
    DISPID next = 1;
    for (const char16_t* name : windowNames) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(zyn::com::DispGetIDsOfNames(window, names, 1, &id), S_OK);
        EXPECT_EQ(id, next++) << QString::fromUtf16(name).toStdString();
    }
    EXPECT_EQ(ITallonChart::kIID, zyn::com::MakeGuid("53CF5B10-E436-47AA-A3C9-D83E00FF4096"));
    EXPECT_EQ(CLSID_TallonApplication, zyn::com::MakeGuid("50F4818E-8851-4EE4-B670-5CB779E48988"));
}

TEST_F(AutomationObjects, DescribeNamesTheProgramVersion) {
    CComBSTR text;
    ASSERT_EQ(m_app->Describe(&text), S_OK);
    EXPECT_EQ(Text(text), QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439"));
}

TEST_F(AutomationObjects, AWindowMadeForAScriptClosesWhenTheScriptLetsGo) {
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(m_app->AddChart(&unknown), S_OK);
    CComPtr<IZynChart> chart = AsChart(unknown);
    unknown.Release();
    ASSERT_TRUE(chart);
    ASSERT_EQ(m_host.docs.size(), 1u);
    CTallonChart* doc = m_host.docs[0].get();
    EXPECT_EQ(doc->Chart(), chart.p);
    EXPECT_EQ(PeerRemoved(chart), 0) << "the window is its chart's peer while the script holds the chart";
    EXPECT_TRUE(doc->App()) << "the window knows the application object that made it";

    // The script lets go: the chart gives up its peer, the document its peer reference (on the
    // views' next notification), and the window object's last release closes the window.
    chart.Release();
    EXPECT_EQ(m_host.closed, 0);
    doc->OnPeerRemoved();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_host.closed, 1);
    EXPECT_TRUE(m_host.docs.empty());
}

TEST_F(AutomationObjects, AScriptHoldingTheWindowKeepsItOpen) {
    CComPtr<IUnknown> unknown;
    m_app->AddChart(&unknown);
    CComPtr<IZynChart> chart = AsChart(unknown);
    unknown.Release();
    CComBSTR id;
    chart->get_Identifier(&id);
    CComPtr<IDispatch> window;
    ASSERT_EQ(m_app->FindChartWindow(id, &window), S_OK);
    ASSERT_TRUE(window);
    CComPtr<IDispatch> again;
    m_app->FindChartWindow(id, &again);
    EXPECT_EQ(again.p, window.p) << "one object per window";
    again.Release();

    CTallonChart* doc = m_host.docs[0].get();
    chart.Release();
    doc->OnPeerRemoved();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_host.closed, 0);
    window.Release();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_host.closed, 1);
}

TEST_F(AutomationObjects, FindChartWindowFindsOnlyOpenWindowsByExactIdentifier) {
    CTallonChart* userDoc = m_host.NewChartWindow();
    CComBSTR id;
    userDoc->Chart()->get_Identifier(&id);
    CComPtr<IDispatch> window;
    EXPECT_EQ(m_app->FindChartWindow(nullptr, &window), S_OK);
    EXPECT_FALSE(window);
    QString lower = Text(id).toLower();
    EXPECT_EQ(m_app->FindChartWindow(CComBSTR(lower.toStdU16String()), &window), S_OK);
    EXPECT_FALSE(window) << "identifiers compare exactly";
    m_host.mainFrame = false;
    EXPECT_EQ(m_app->FindChartWindow(id, &window), S_OK);
    EXPECT_FALSE(window) << "no main frame, no window";
    m_host.mainFrame = true;
    EXPECT_EQ(m_app->FindChartWindow(id, &window), S_OK);
    ASSERT_TRUE(window);
    // A window the user opened does not close with its object.
    window.Release();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_host.closed, 0);
}

TEST_F(AutomationObjects, WindowPropertiesStoreAndOnlyTimeFormatUpdatesTheViews) {
    CTallonChart* doc = m_host.NewChartWindow();
    CComPtr<CChartWindowObject> window = CChartWindowObject::For(doc, m_host);
    QSignalSpy views(doc, &CTallonChart::updateViews);

    EXPECT_EQ(window->put_ColorGrid(0x123456), S_OK);
    LONG colour = 0;
    window->get_ColorGrid(&colour);
    EXPECT_EQ(colour, 0x123456);
    EXPECT_EQ(doc->Settings().gridColourAuto, 0);
    window->put_XGridLines(VARIANT_TRUE);
    VARIANT_BOOL on = VARIANT_FALSE;
    window->get_XGridLines(&on);
    EXPECT_EQ(on, VARIANT_TRUE);
    window->put_TickSize(3);
    EXPECT_EQ(doc->Settings().TickSize, 3u);
    EXPECT_EQ(views.count(), 0) << "display puts only repaint";
    EXPECT_EQ(m_host.repaints, 3);

    window->put_TimeFormat(9);
    LONG format = 0;
    window->get_TimeFormat(&format);
    EXPECT_EQ(format, 9);
    ASSERT_EQ(views.count(), 1);
    EXPECT_EQ(views.at(0).at(0).toInt(), int(CTallonChart::kHintRelayout));
    window->Refresh();
    EXPECT_EQ(views.at(1).at(0).toInt(), int(CTallonChart::kHintRefresh));
}

TEST_F(AutomationObjects, FileSaveSaysWhetherTheWindowWasSaved) {
    CTallonChart* doc = m_host.NewChartWindow();
    CComPtr<CChartWindowObject> window = CChartWindowObject::For(doc, m_host);
    VARIANT_BOOL saved = VARIANT_FALSE;
    EXPECT_EQ(window->FileSave(CComBSTR(u"/tmp/a.tlon"), &saved), S_OK);
    EXPECT_EQ(saved, VARIANT_TRUE);
    m_host.saveWorks = false;
    window->FileSave(CComBSTR(u"/tmp/b.tlon"), &saved);
    EXPECT_EQ(saved, VARIANT_FALSE);
    window->FileSave(nullptr, &saved);
    EXPECT_EQ(saved, VARIANT_FALSE);
    EXPECT_EQ(m_host.saved, (QStringList{QStringLiteral("/tmp/a.tlon"), QStringLiteral("/tmp/b.tlon")}));
}

TEST_F(AutomationObjects, AWindowThatClosedAnswersWithAClearError) {
    CTallonChart* doc = m_host.NewChartWindow();
    CComPtr<CChartWindowObject> window = CChartWindowObject::For(doc, m_host);
    m_host.CloseChartWindow(doc);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(window->put_ColorGrid(1), CO_E_OBJNOTCONNECTED);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    CComBSTR text, source;
    info->GetDescription(&text);
    info->GetSource(&source);
    EXPECT_EQ(Text(text), QStringLiteral("The chart window has been closed"));
    EXPECT_EQ(Text(source), QStringLiteral("Tallon.Chart"));
    LONG colour = 0;
    EXPECT_EQ(window->get_ColorText(&colour), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(window->Maximize(), CO_E_OBJNOTCONNECTED);
    EXPECT_TRUE(m_host.frameCalls.isEmpty());
}

TEST_F(AutomationObjects, SavedChartsComeBackInNewWindows) {
    CComPtr<IUnknown> unknown;
    m_app->AddChart(&unknown);
    CComPtr<IZynChart> chart = AsChart(unknown);
    CComPtr<IZynChannel> channel;
    chart->AddStaticChannel(&channel);
    LONG count = 0;
    channel->AddValueRelTime(4.0, 0, &count);
    CComVariant bytes;
    ASSERT_EQ(chart->SaveChart(&bytes), S_OK);

    CComPtr<IUnknown> loaded;
    ASSERT_EQ(m_app->LoadChart(bytes, &loaded), S_OK);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(m_host.docs.size(), 2u);
    EXPECT_EQ(m_host.docs[1]->Chart(), AsChart(loaded).p);
    EXPECT_EQ(PeerRemoved(AsChart(loaded)), 0);

    CComBSTR text;
    chart->SaveChartAsString(&text);
    CComPtr<IUnknown> fromText;
    ASSERT_EQ(m_app->LoadChartFromString(text, &fromText), S_OK);
    EXPECT_TRUE(fromText);
    EXPECT_EQ(m_host.docs.size(), 3u);

    // Not a byte array, not a chart: null and no window.
    CComPtr<IUnknown> none;
    EXPECT_EQ(m_app->LoadChart(CComVariant(u"text"), &none), S_OK);
    EXPECT_FALSE(none);
    EXPECT_EQ(m_app->LoadChartFromString(CComBSTR(u"garbage"), &none), S_OK);
    EXPECT_FALSE(none);
    EXPECT_EQ(m_app->FileOpen(nullptr, &none), S_OK);
    EXPECT_FALSE(none);
    EXPECT_TRUE(m_host.opened.isEmpty()) << "a null path opens nothing";
    EXPECT_EQ(m_host.docs.size(), 3u);
}

TEST_F(AutomationObjects, ApplicationObjectsAndDocumentsHoldTheApplicationLock) {
    const int base = m_context.AppLocks();
    int unlocked = 0;
    m_context.whenUnlocked = [&] { ++unlocked; };
    {
        CComPtr<CCoApp> second(new CCoApp(m_context, m_host));
        EXPECT_EQ(m_context.AppLocks(), base + 1);
        CComPtr<CCoApp> forTools(new CCoApp(m_context, m_host, false));
        EXPECT_EQ(m_context.AppLocks(), base + 1) << "the fixed path's object takes none";
        m_host.NewChartWindow();
        EXPECT_EQ(m_context.AppLocks(), base + 2);
        m_host.docs.clear();
    }
    EXPECT_EQ(m_context.AppLocks(), base);
    m_app.Release();
    EXPECT_EQ(m_context.AppLocks(), 0);
    EXPECT_EQ(unlocked, 1) << "told once, when the last lock went";
    m_context.whenUnlocked = nullptr;
}

TEST_F(AutomationObjects, FrameCommandsAndStatusTextGoToTheProgram) {
    m_app->put_StatusText(CComBSTR(u"Hello"));
    m_app->Maximize();
    m_app->Restore();
    m_app->Minimize();
    m_app->CascadeWindows();
    m_app->TileWindows();
    EXPECT_EQ(m_host.status, QStringList{QStringLiteral("Hello")});
    EXPECT_EQ(m_host.frameCalls,
              (QStringList{QStringLiteral("main 0"), QStringLiteral("main 2"), QStringLiteral("main 1"),
                           QStringLiteral("cascade"), QStringLiteral("tile")}));
}

} // namespace

namespace {

// An OLE date of the local time `seconds` after the Unix epoch, as a script's Date gives it.
CComVariant DateOf(double seconds) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0)).toLocalTime();
    return CComVariant::Date(double(QDate(1899, 12, 30).daysTo(t.date())) +
                             t.time().msecsSinceStartOfDay() / 86400000.0);
}

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

TEST_F(AutomationObjects, ImportPrometheusShowsTheHistoryInAWindowOfItsOwn) {
    const zyn::test::TempSettingsStore store;
    zyn::test::ExporterProcess exporter;
    zyn::test::PrometheusProcess prometheus;
    if (!exporter.Start()) GTEST_SKIP() << exporter.Why();
    if (!prometheus.Start({exporter.Machine()}, 1)) GTEST_SKIP() << prometheus.Why();
    // Until the server has kept a few of its scrapes.
    const double since = NowSeconds();
    for (int i = 0; i < 100; ++i) {
        const zyn::net::PromResult kept =
            zyn::net::QueryRange({prometheus.Url(), "up", since - 30, NowSeconds(), 1});
        if (kept.ok && !kept.series.empty() && kept.series[0].points.size() >= 3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const QString url = QString::fromStdString(prometheus.Url());
    const CComBSTR server(reinterpret_cast<const char16_t*>(url.utf16()));

    // As a script calls it: by name, arguments last to first.
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_app->QueryInterface(IDispatch::kIID, reinterpret_cast<void**>(&dispatch)), S_OK);
    LPOLESTR member[] = {const_cast<LPOLESTR>(u"importprometheus")};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID{}, member, 1, 0, &id), S_OK);
    const double end = NowSeconds();
    CComVariant args[] = {CComVariant(1.0), DateOf(end), DateOf(since - 30),
                          CComVariant(u"node_cpu_seconds_total{mode=\"idle\"}"), CComVariant(server)};
    DISPPARAMS params{args, nullptr, 5, 0};
    CComVariant result;
    ASSERT_EQ(dispatch->Invoke(id, IID{}, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    ASSERT_TRUE(result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH);
    CComPtr<IZynChart> chart = AsChart(result.punkVal);
    ASSERT_TRUE(chart);
    ASSERT_EQ(m_host.docs.size(), 1u) << "the history opens in a window";
    EXPECT_EQ(m_host.docs[0]->Chart(), chart.p);
    LONG count = 0;
    chart->get_ChannelCount(&count);
    EXPECT_EQ(count, LONG(sysconf(_SC_NPROCESSORS_ONLN))) << "one series per processor";
    // Coloured as a chart made from a file, so that every series shows.
    CComPtr<IZynChannelIter> channels;
    chart->get_Channels(&channels);
    for (std::size_t i = 0;; ++i) {
        CComPtr<IZynChannel> channel;
        if (FAILED(channels->GetNext(&channel)) || !channel) break;
        OLE_COLOR colour = 0;
        channel->get_Color(&colour);
        EXPECT_EQ(colour, zyn::csv::kDefaultChannelColours[i % 10]) << i;
        LONG values = 0;
        channel->get_DataCount(&values);
        EXPECT_GE(values, 3) << i;
    }

    // A server that is not there: the call fails with the reason and opens nothing.
    CComPtr<IUnknown> none;
    const HRESULT hr = m_app->ImportPrometheus(CComBSTR(u"http://127.0.0.1:1"), CComBSTR(u"up"),
                                               DateOf(since - 30), DateOf(end), 1.0, &none);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(none);
    CComPtr<IErrorInfo> info;
    CComBSTR why;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    info->GetDescription(&why);
    EXPECT_FALSE(Text(why).isEmpty());
    EXPECT_EQ(m_host.docs.size(), 1u);
}

// The program's windows under the offscreen platform: menus and commands, files through the
// document, the channel bar, the status pane, the tips and the command line.

#include "com/ccombstr.h"
#include "display/ChartFonts.h"
#include "display/ChartSettings.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "exchange/ChartFile.h"
#include "exchange/CsvImport.h"
#include "options/AboutBox.h"
#include "options/tests/ModalDriver.h"
#include "report/ReportText.h"
#include "report/ReportView.h"
#include "resources/ZynFormat.h"
#include "resources/ZynStrings.h"
#include "shell/ChannelBar.h"
#include "shell/ChartWindowDocument.h"
#include "shell/ChildFrame.h"
#include "shell/ChildFrameTabs.h"
#include "shell/CommandIcons.h"
#include "shell/HelpTopics.h"
#include "shell/HelpWindow.h"
#include "shell/MainFrame.h"
#include "shell/StatusPane.h"
#include "shell/TallonApp.h"
#include "shell/TallonAppDocument.h"
#include "shell/Tips.h"
#include "testing/ManualClock.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynGrowBuff.h"
#include "view/ChartView.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

QStringList MenuTexts(QMenuBar* bar) {
    QStringList out;
    for (QAction* a : bar->actions())
        out << a->text();
    return out;
}

QMenu* TopMenu(QMenuBar* bar, const QString& text) {
    for (QAction* a : bar->actions())
        if (a->text() == text) return a->menu();
    return nullptr;
}

// Each channel's name with its number of samples, in chart order.
QStringList ChannelsAndCounts(IZynChart* chart) {
    QStringList out;
    CComPtr<IZynChannelIter> it;
    if (!chart || FAILED(chart->get_Channels(&it)) || !it) return out;
    for (;;) {
        CComPtr<IZynChannel> channel;
        if (it->GetNext(&channel) != S_OK || !channel) break;
        CComBSTR name;
        channel->get_Name(&name);
        CComPtr<IZynDataSet> data;
        LONG count = -1;
        if (SUCCEEDED(channel->get_Data(&data)) && data) data->get_Count(&count);
        out << QStringLiteral("%1:%2")
                   .arg(QString::fromUtf16(name.View().data(), qsizetype(name.View().size())))
                   .arg(count);
    }
    return out;
}

} // namespace

class ShellTests : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menusFollowTheActiveView();
    void commandsReachFramesAndDocuments();
    void toolTipsPromptsAndVersionComeFromTheTexts();
    void savesAndOpensThroughTheDocument();
    void chartFileRoundTripOpensInANewWindow();
    void documentAndViewReachTheFrames();
    void malformedFilesShowTheMessageAndOpenNothing();
    void channelBarRowsAndActions();
    void columnWidthsKeepTheirBounds();
    void statusPanePhases();
    void startupTips();
    void startupSplashFirstRunAndAutomation();
    void defaultChartSettingsAndPreferencesSurviveARestart();
    void channelBarPressAndHoldHighlightsUntilReleaseMoveOrExpiry();
    void anotherObjectLibraryCopyIsNamedInTheStatusPane();
    void commandLine();
    void everyToolBarCommandHasItsPicture();
    void everyHelpRequestHasItsPage();
    void helpCommandsOpenThePagesOfTheWindowAndTheCommand();
    void folderTabsLayout();
    void damagedSettingsAreMovedAsideSaidOnceAndSavedAgain();
    void aChartFileReadInPartOpensWithAWarning();
    void channelBarSelectionSurvivesTheRefreshesOfARunningChart();
    void channelBarColumnsFollowTheRuleUntilTheUserSizesThem();
    void channelBarRowsTellInstancesApartAndTipTheWholeText();
    void channelBarValuesNeverCutANumber();
    void fileOnTheCommandLineFillsTheChannelBarWithoutTheAddChannelTip();
    void samplesRecordedAfterOpeningMarkTheDocumentModified();
    void failuresNameTheFileAndTheReason();
    void statusPaneShowsWholeMessagesAndNeverCutsANumber();
    void savedChartReopensWithItsZoom();
    void firstWindowFitsTheScreen();
    void reportPageThroughTheMenus();

private:
    // Ends the program as main() does: settings saved, then the frame (which writes "ToolbarVer")
    // and the documents deleted.
    void EndApp();
    // Starts a program with `args` and `clock` (the system's when null); false when start-up failed.
    bool StartApp(const QStringList& args, zyn::sync::IClock* clock = nullptr);
    bool Restart(const QStringList& args, zyn::sync::IClock* clock = nullptr);
    // The active chart window with two imported channels, shown in the channel bar.
    CTallonAppDocument* ShowTwoChannels();
    // A chart file of two imported channels ("CPU", "Disk"), written by a window of its own.
    QString WriteTwoChannelFile(const QString& name);

    QTemporaryDir* m_dir = nullptr;
    std::unique_ptr<zyn::test::TempSettingsStore> m_store;
    // Outlives every program a test starts, so that none is left with a clock that is gone.
    std::unique_ptr<zyn::test::ManualClock> m_clock;
    CTallonApp* m_app = nullptr;
    QStringList m_messages;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
};

void ShellTests::init() {
    m_dir = new QTemporaryDir;
    m_store = std::make_unique<zyn::test::TempSettingsStore>();
    m_clock = std::make_unique<zyn::test::ManualClock>();
    m_messages.clear();
    SetZynMessageHook([this](const QString& text, QMessageBox::StandardButtons) {
        m_messages << text;
        return m_answer;
    });
    m_app = new CTallonApp;
    TallonCommandLine cmd;
    cmd.noArguments = false; // no splash in tests
    int rc = 0;
    QVERIFY(m_app->InitInstance(cmd, rc));
}

void ShellTests::cleanup() {
    EndApp();
    SetZynMessageHook(nullptr);
    m_clock.reset();
    m_store.reset();
    delete m_dir;
}

void ShellTests::EndApp() {
    if (!m_app) return;
    m_app->ExitInstance();
    delete m_app;
    m_app = nullptr;
}

bool ShellTests::StartApp(const QStringList& args, zyn::sync::IClock* clock) {
    m_app = new CTallonApp;
    if (clock) m_app->Context().clock = clock;
    int rc = 0;
    return m_app->InitInstance(ParseTallonCommandLine(args), rc);
}

bool ShellTests::Restart(const QStringList& args, zyn::sync::IClock* clock) {
    EndApp();
    return StartApp(args, clock);
}

CTallonAppDocument* ShellTests::ShowTwoChannels() {
    CMainFrame* frame = m_app->MainFrame();
    frame->resize(1200, 800);
    frame->show();
    CTallonAppDocument* doc = frame->ActiveDocument();
    if (!zyn::csv::ImportText(doc->Chart(), u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,8\n")) return nullptr;
    frame->ChannelBarChartChanged(doc->Chart());
    frame->ChannelBarShowDocument(doc, true);
    return doc;
}

QString ShellTests::WriteTwoChannelFile(const QString& name) {
    CTallonAppDocument* doc = m_app->OnFileNew();
    if (!doc || !zyn::csv::ImportText(doc->Chart(), u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,8\n"))
        return {};
    QString path = m_dir->filePath(name);
    if (!doc->OnSaveDocument(path)) return {};
    m_app->CloseDocument(doc);
    return path;
}

void ShellTests::menusFollowTheActiveView() {
    CMainFrame* frame = m_app->MainFrame();
    QCOMPARE(frame->CurrentMenuId(), 129);
    QCOMPARE(MenuTexts(frame->menuBar()),
             (QStringList{"&File", "&Edit", "&Chart", "&View", "&Window", "&Help"}));
    QMenu* chart = TopMenu(frame->menuBar(), QStringLiteral("&Chart"));
    QVERIFY(chart);
    QStringList items;
    for (QAction* a : chart->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(items, (QStringList{"&Add Channel...\tCtrl+A", "Sample &Data", "&Pause", "-", "Auto A&xis",
                                 "A&uto Scroll", "-", "Add &Event...", "&Stop Event", "-", "&Rerun\tCtrl+R",
                                 "R&efresh", "P&roperties..."}));
    QCOMPARE(frame->Action(ZynCmd::AddChannel)->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
    QCOMPARE(frame->Action(ZynCmd::EditPaste)->shortcuts().size(), 2);

    // The report tab asks for menu 150.
    CChildFrame* child = frame->ActiveChild();
    QVERIFY(child);
    child->Folder()->ShowTab(1);
    QCOMPARE(frame->CurrentMenuId(), 150);
    QVERIFY(TopMenu(frame->menuBar(), QStringLiteral("&Report")));
    QVERIFY(!TopMenu(frame->menuBar(), QStringLiteral("&Chart")));
    QMenu* file = TopMenu(frame->menuBar(), QStringLiteral("&File"));
    QVERIFY(file && file->actions().contains(frame->Action(ZynCmd::Print)));
    QCOMPARE(frame->Action(ZynCmd::Print)->text(), QStringLiteral("&Print Report...\tCtrl+P"));
    child->Folder()->ShowTab(0);
    QCOMPARE(frame->CurrentMenuId(), 129);
    QCOMPARE(frame->Action(ZynCmd::Print)->text(), QStringLiteral("&Print Chart...\tCtrl+P"));

    // No document: menu 128.
    m_app->CloseDocument(child->Document());
    QTRY_COMPARE(frame->MdiArea()->subWindowList().size(), 0);
    QCOMPARE(frame->CurrentMenuId(), 128);
    QCOMPARE(MenuTexts(frame->menuBar()), (QStringList{"&File", "&View", "&Help"}));
}

void ShellTests::commandsReachFramesAndDocuments() {
    CMainFrame* frame = m_app->MainFrame();
    frame->Action(ZynCmd::FileNew)->trigger();
    QCOMPARE(int(m_app->Documents().size()), 2);
    QCOMPARE(frame->MdiArea()->subWindowList().size(), 2);
    frame->OnCommand(ZynCmd::Tile);
    frame->OnCommand(ZynCmd::Cascade);
    // The channel bar's command toggles the dock and its check follows.
    frame->Action(ZynCmd::ViewChannelBar)->trigger();
    frame->UpdateCommands();
    QCOMPARE(frame->Action(ZynCmd::ViewChannelBar)->isChecked(), frame->ChannelBar()->isVisible());
    // Pause is the document's: it stops the chart and says so.
    CTallonAppDocument* doc = frame->ActiveDocument();
    doc->Chart()->put_Run(1);
    frame->Action(ZynCmd::Pause)->trigger();
    LONG run = 1;
    doc->Chart()->get_Run(&run);
    QCOMPARE(run, 0);
    QCOMPARE(frame->StatusPane()->Message(), LoadZynString(50086));
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::Pause)->isChecked());
    QVERIFY(!frame->Action(ZynCmd::Rerun)->isEnabled()); // no channels yet
    // Tool bar drop-downs hold their menus.
    QVERIFY(frame->ToolButton(1)->menu());
    QVERIFY(frame->ToolButton(9)->menu());
    QCOMPARE(frame->ToolButton(9)->menu()->actions().size(), 8);
}

void ShellTests::toolTipsPromptsAndVersionComeFromTheTexts() {
    CMainFrame* frame = m_app->MainFrame();
    QStringList tips;
    for (QAction* a : frame->ToolBar()->actions())
        if (!a->isSeparator()) tips << a->toolTip();
    // Chart Properties' text has no tip part: its button shows its menu text.
    QCOMPARE(tips, (QStringList{"New chart", "Open a chart", "Save the chart", "Print", "Add channel",
                                "Pause", "Sample data", "Zoom", "Add Event", "Properties", "About Tallon"}));
    // Fly-by help: the prompt part, where the text has one.
    QCOMPARE(frame->Action(ZynCmd::AddChannel)->statusTip(),
             QStringLiteral("Add a new channel to the chart"));
    QVERIFY(frame->Action(ZynCmd::FileNew)->statusTip().isEmpty());

    // The about box shows the version text the status pane shows.
    QString version;
    auto driven = OnNextModal<CAboutBox>([&](CAboutBox* about) { version = about->VersionLabel()->text(); });
    frame->OnCommand(ZynCmd::About);
    QCOMPARE(driven->count, 1);
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(version, QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439"));
    QCOMPARE(frame->StatusPane()->Message(), version);
}

void ShellTests::savesAndOpensThroughTheDocument() {
    CMainFrame* frame = m_app->MainFrame();
    CTallonAppDocument* doc = frame->ActiveDocument();
    QVERIFY(zyn::csv::ImportText(doc->Chart(), u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,4\n"));
    const QString base = m_dir->filePath(QStringLiteral("saved"));
    // The CSV filter with a name typed without extension saves "saved.csv".
    m_app->SetPromptHook([&](bool open, QString& path, int& filter) {
        if (open) return false;
        path = base;
        filter = 1;
        return true;
    });
    frame->OnCommand(ZynCmd::FileSaveAs);
    QVERIFY(QFile::exists(base + QStringLiteral(".csv")));
    QCOMPARE(doc->Title(), QStringLiteral("saved"));
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(m_app->RecentFiles().value(0), base + QStringLiteral(".csv"));

    CTallonAppDocument* opened = m_app->OpenDocumentFile(base + QStringLiteral(".csv"));
    QVERIFY(opened);
    QVERIFY(opened != doc || m_app->Documents().size() == 1);
    LONG channels = 0;
    opened->Chart()->get_ChannelCount(&channels);
    QCOMPARE(channels, 2);

    // A chart without samples cannot be saved as CSV: 50110, and no file.
    CTallonAppDocument* empty = m_app->OnFileNew();
    QVERIFY(!empty->OnSaveDocument(m_dir->filePath(QStringLiteral("empty.CSV"))));
    QCOMPARE(m_messages.value(0), LoadZynString(50110));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("empty.CSV"))));
}

void ShellTests::chartFileRoundTripOpensInANewWindow() {
    CMainFrame* frame = m_app->MainFrame();
    CTallonAppDocument* doc = frame->ActiveDocument();
    QVERIFY(zyn::csv::ImportText(doc->Chart(),
                                 u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,4\n10:00:02,5,6\n10:00:03,7,8\n"));
    const QStringList expected = ChannelsAndCounts(doc->Chart());
    QCOMPARE(expected, (QStringList{"CPU:4", "Disk:4"}));
    // The first filter with a name typed without extension saves "kept.tlon".
    const QString base = m_dir->filePath(QStringLiteral("kept"));
    m_app->SetPromptHook([&](bool open, QString& path, int& filter) {
        if (open) return false;
        path = base;
        filter = 0;
        return true;
    });
    frame->OnCommand(ZynCmd::FileSaveAs);
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'|')));
    QVERIFY(QFile::exists(base + QStringLiteral(".tlon")));
    QCOMPARE(doc->Title(), QStringLiteral("kept"));
    QVERIFY(!doc->IsModified());

    // A copy under another name is a different document: it opens in a window of its own.
    const QString copy = m_dir->filePath(QStringLiteral("copy.tlon"));
    QVERIFY(QFile::copy(base + QStringLiteral(".tlon"), copy));
    CTallonAppDocument* opened = m_app->OpenDocumentFile(copy);
    QVERIFY(opened);
    QVERIFY(opened != doc);
    QVERIFY(opened->Chart() != doc->Chart());
    QCOMPARE(frame->MdiArea()->subWindowList().size(), 2);
    QCOMPARE(frame->ActiveDocument(), opened);
    QCOMPARE(ChannelsAndCounts(opened->Chart()), expected);
    QCOMPARE(opened->Title(), QStringLiteral("kept")); // the chart's name as saved
    QVERIFY(m_messages.isEmpty());
    // The channel bar lists the opened chart.
    frame->ChannelBarShowDocument(opened, true);
    QVERIFY(frame->ChannelBar()->isVisible());
    QCOMPARE(frame->ChannelBar()->List()->topLevelItemCount(), 2);
    QCOMPARE(frame->ChannelBar()->List()->topLevelItem(1)->text(CChannelBar::ColName),
             QStringLiteral("Disk"));
}

void ShellTests::documentAndViewReachTheFrames() {
    CMainFrame* frame = m_app->MainFrame();
    frame->resize(1200, 800);
    frame->show();
    auto* doc = qobject_cast<CChartWindowDocument*>(frame->ActiveDocument());
    QVERIFY(doc);
    CChildFrame* child = frame->ActiveChild();
    auto* view = qobject_cast<CTallonView*>(child->Folder()->View());
    QVERIFY(view);
    QCOMPARE(doc->ActiveView(), view);

    // A counter added as the counter browser adds it: its status text, a channel bar row, the
    // modified mark on the window.
    QVERIFY(doc->Document()->AddChannelByPath(QStringLiteral("\\Memory\\% Committed Bytes In Use")));
    QVERIFY(frame->StatusPane()->Message().startsWith(QStringLiteral("Added counter")));
    QCOMPARE(frame->ChannelBar()->List()->topLevelItemCount(), 1);
    QVERIFY(child->isWindowModified());

    // The frame's check follows the view's auto-scroll, and its command reaches the view.
    const bool autoScroll = view->AutoScroll();
    frame->UpdateCommands();
    QCOMPARE(frame->Action(ZynCmd::AutoScroll)->isChecked(), autoScroll);
    frame->Action(ZynCmd::AutoScroll)->trigger();
    QCOMPARE(view->AutoScroll(), !autoScroll);
    frame->UpdateCommands();
    QCOMPARE(frame->Action(ZynCmd::AutoScroll)->isChecked(), !autoScroll);
    // The zoom slots carry the spans the view offers.
    QCOMPARE(frame->Action(ZynCmd::Zoom1)->text(), view->Action(CTallonView::kCmdZoomSlot0)->text());

    // The channel bar's selection is the shared one: the document's value-axis channel and the
    // Delete command naming the channel follow it.
    QTreeWidget* list = frame->ChannelBar()->List();
    list->setCurrentItem(list->topLevelItem(0));
    QCOMPARE(m_app->Context().channelBar.selectedChart, doc->Document()->Identifier());
    QVERIFY(!m_app->Context().channelBar.selectedChannel.isEmpty());
    QVERIFY(doc->Document()->SelectedChannel());
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::DeleteChannel)->isEnabled());
    QVERIFY(frame->Action(ZynCmd::DeleteChannel)->text().contains(QStringLiteral("Channel-1")));
    // Delete through the frame's command: the question, then the channel goes.
    m_answer = QMessageBox::Yes;
    frame->Action(ZynCmd::DeleteChannel)->trigger();
    QCOMPARE(m_messages, QStringList{LoadZynString(50121)});
    QCOMPARE(doc->Document()->ChannelCount(), 0);
    QCOMPARE(list->topLevelItemCount(), 0);

    // The view's properties request opens the chart's property sheet.
    QString title;
    QTimer::singleShot(0, [&title] {
        if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            title = sheet->windowTitle();
            sheet->reject();
        }
    });
    frame->OnCommand(ZynCmd::ChartProperties);
    QCOMPARE(title, QStringLiteral("Chart Properties"));
}

void ShellTests::malformedFilesShowTheMessageAndOpenNothing() {
    const QString path = m_dir->filePath(QStringLiteral("v4.tlon"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromHex("04000000"
                                "5a796e20"
                                "00000000"));
    f.close();
    const auto before = m_app->Documents().size();
    QVERIFY(!m_app->OpenDocumentFile(path));
    QCOMPARE(m_messages, QStringList{LoadZynString(50111)});
    QCOMPARE(m_app->Documents().size(), before);
    QVERIFY(!m_app->RecentFiles().contains(path));
}

void ShellTests::channelBarRowsAndActions() {
    CMainFrame* frame = m_app->MainFrame();
    CTallonAppDocument* doc = ShowTwoChannels();
    QVERIFY(doc);
    QTreeWidget* list = frame->ChannelBar()->List();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(CChannelBar::ColName), QStringLiteral("CPU"));
    QCOMPARE(list->topLevelItem(1)->text(CChannelBar::ColVisible), QStringLiteral("1"));
    QCOMPARE(list->topLevelItem(1)->text(CChannelBar::ColColor), QStringLiteral("65280,0"));
    QCOMPARE(list->topLevelItem(1)->text(CChannelBar::ColMax), QStringLiteral("8.00"));
    QCOMPARE(list->columnWidth(0), 24);
    QCOMPARE(list->columnWidth(1), 50);

    // Selecting a row selects its channel in the frame.
    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(!frame->SelectedChannelId().isEmpty());

    // Delete with Shift asks nothing; without, the question comes and No keeps the channel.
    m_answer = QMessageBox::No;
    frame->ChannelBar()->DeleteSelected(false);
    QCOMPARE(m_messages, QStringList{LoadZynString(50121)});
    QCOMPARE(list->topLevelItemCount(), 2);
    frame->ChannelBar()->DeleteSelected(true);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(frame->StatusPane()->Message(), QStringLiteral("Disk has been deleted"));

    // Nothing selected: 50069.
    list->clearSelection();
    frame->ChannelBar()->AutoScaleSelected();
    QCOMPARE(m_messages.last(), LoadZynString(50069));
}

void ShellTests::columnWidthsKeepTheirBounds() {
    const auto rules = ChannelColumnRules();
    for (int width : {100, 300, 700, 1200, 4000}) {
        const auto w = ComputeColumnWidths(width, 16, rules);
        QCOMPARE(w[0], 24);
        QCOMPARE(w[1], 50);
        for (std::size_t i = 2; i < rules.size(); ++i) {
            QVERIFY2(w[i] >= rules[i].min,
                     qPrintable(QStringLiteral("width %1 column %2").arg(width).arg(i)));
            if (rules[i].max) QVERIFY(w[i] <= rules[i].max);
        }
    }
    // A wide list: every bounded column at its maximum, the counter column takes the rest.
    const auto wide = ComputeColumnWidths(2000, 16, rules);
    QCOMPARE(wide[2], 90);
    QCOMPARE(wide[6], 88);
    QCOMPARE(wide[3], 2000 - 10 - 16 - 74 - 90 - 120 - 120 - 4 * 88);
}

void ShellTests::statusPanePhases() {
    CStatusPane pane;
    pane.SetMessage(QStringLiteral("Disk full"), 2);
    QVERIFY(pane.TimerRunning());
    QCOMPARE(pane.FillColour(), QColor(255, 0, 0));
    for (int i = 0; i < 19; ++i)
        pane.Tick();
    QCOMPARE(pane.CurrentPhase(), CStatusPane::Phase::Highlight); // 1.9 s: still on red
    pane.Tick();
    QCOMPARE(pane.CurrentPhase(), CStatusPane::Phase::BackgroundFade);
    QCOMPARE(pane.FillColour(), QColor(255, 0, 0)); // 0 % of the way
    for (int i = 0; i < 10; ++i)
        pane.Tick();
    const QColor half = pane.FillColour();
    QVERIFY(half != QColor(255, 0, 0) && half != pane.palette().color(QPalette::Button));
    // A new message restarts at the highlight with its own level.
    pane.SetMessage(QStringLiteral("Note"), 0);
    QCOMPARE(pane.Ticks(), 0);
    QCOMPARE(pane.FillColour(), QColor(0, 255, 0));
    for (int i = 0; i < 90; ++i)
        pane.Tick();
    QCOMPARE(pane.CurrentPhase(), CStatusPane::Phase::TextFade);
    QCOMPARE(pane.Message(), QStringLiteral("Note"));
    pane.Tick();
    QVERIFY(pane.Message().isEmpty());
    QVERIFY(!pane.TimerRunning());

    // Clicks: 21 remarks at level 1, then the box and the cycle starts again.
    QStringList boxes;
    SetZynMessageHook([&](const QString& text, QMessageBox::StandardButtons) {
        boxes << text;
        return QMessageBox::Ok;
    });
    for (int i = 0; i < 21; ++i)
        QTest::mouseClick(&pane, Qt::LeftButton);
    QCOMPARE(pane.Message(), QStringLiteral("No more. Goodbye and have a nice life."));
    QCOMPARE(pane.Level(), 1);
    QTest::mouseClick(&pane, Qt::LeftButton);
    QCOMPARE(boxes, QStringList{QStringLiteral("That was really the last one.")});
    QVERIFY(pane.Message().isEmpty());
    QTest::mouseClick(&pane, Qt::LeftButton);
    QCOMPARE(pane.Message(), QStringLiteral("You shouldn't click here."));
}

void ShellTests::startupTips() {
    int starts = 0;
    auto tip = ChooseStartupTip(0, starts, 0);
    QVERIFY(tip && tip->textId == 50140 && tip->button == 5 && tip->showMs == 12000);
    starts = 9;
    tip = ChooseStartupTip(3, starts, 0);
    QCOMPARE(starts, 10);
    QVERIFY(tip && tip->textId == 50167 && tip->button == 9);
    starts = 12;
    QVERIFY(!ChooseStartupTip(3, starts, 0));
    starts = 29;
    tip = ChooseStartupTip(5, starts, 0);
    QVERIFY(tip && tip->textId == 50169 && tip->showMs == 24000);
    starts = 29;
    QVERIFY2(!ChooseStartupTip(5, starts, 3), "no tip for users of the detailed counters");

    CMainFrame* frame = m_app->MainFrame();
    frame->show();
    frame->RunStartupTasks();
    QVERIFY(frame->Tip());
    QCOMPARE(frame->Tip()->Title(), QStringLiteral("Add a channel"));
    frame->Tip()->close();
    frame->ToolBar()->hide();
    QTRY_VERIFY(!frame->Tip());
    frame->RunStartupTasks();
    QVERIFY(!frame->Tip());
}

void ShellTests::startupSplashFirstRunAndAutomation() {
    zyn::test::ManualClock& clock = *m_clock;
    clock.SetAdvanceOnWait(true); // the splash waits on this thread: each wait moves the time
    EndApp();
    // A store of this test's own: no "ToolbarVer" yet, so the next start is a first run.
    auto store = std::make_unique<zyn::test::TempSettingsStore>();
    const std::vector<DWORD> pump100(100, 10), pump50(50, 10);
    auto splashWaits = [&](DWORD hold) {
        std::vector<DWORD> waits = pump100;
        waits.push_back(hold);
        waits.insert(waits.end(), pump50.begin(), pump50.end());
        return waits;
    };

    // No arguments, first run: the splash for a second, then 4 s more, then half a second while the
    // frame settles; the start-up tips follow.
    QVERIFY(StartApp({}, &clock));
    QVERIFY(m_app->SplashShown());
    QVERIFY(!m_app->AutomationStarted());
    QCOMPARE(clock.Waits(), splashWaits(4000));
    QCOMPARE(int(m_app->Documents().size()), 1);
    QTRY_VERIFY(m_app->MainFrame()->Tip());

    // The main frame wrote "ToolbarVer" when it went: the next start holds the splash 100 ms.
    const std::size_t before = clock.Waits().size();
    QVERIFY(Restart({}, &clock));
    QVERIFY(m_app->SplashShown());
    const std::vector<DWORD> waits = clock.Waits();
    QCOMPARE(std::vector<DWORD>(waits.begin() + std::ptrdiff_t(before), waits.end()), splashWaits(100));

    // A file name skips the splash and still shows the tips (here the tenth start's, since the
    // file's chart has its channels already).
    const QString csv = m_dir->filePath(QStringLiteral("start.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Time,CPU\n10:00:00,1\n10:00:01,2\n");
    file.close();
    m_app->Context().Settings().Set(CNumberedSettings::kAddChannelUses, 3);
    m_app->Context().Settings().Set(CNumberedSettings::kStartupCounter, 9);
    const std::size_t beforeFile = clock.Waits().size();
    QVERIFY(Restart({csv}, &clock));
    QVERIFY(!m_app->SplashShown());
    QCOMPARE(clock.Waits().size(), beforeFile);
    QCOMPARE(int(m_app->Documents().size()), 1);
    QCOMPARE(m_app->Documents()[0]->PathName(), csv);
    QTRY_VERIFY(m_app->MainFrame()->Tip());
    QCOMPARE(m_app->MainFrame()->Tip()->Title(), LoadZynString(50167).section(u'~', 0, 0));

    // Started for automation (either switch): no splash, no chart window, no tips.
    for (const QString& flag : {QStringLiteral("/Automation"), QStringLiteral("/Embedding")}) {
        const std::size_t beforeAutomation = clock.Waits().size();
        QVERIFY(Restart({flag}, &clock));
        QVERIFY(m_app->AutomationStarted());
        QVERIFY(!m_app->SplashShown());
        QCOMPARE(clock.Waits().size(), beforeAutomation);
        QVERIFY(m_app->Documents().empty());
        QCoreApplication::sendPostedEvents();
        QVERIFY(!m_app->MainFrame()->Tip());
    }
    EndApp();
    store.reset();
    QVERIFY(StartApp({QStringLiteral("--embedding")})); // a program for cleanup(), without a splash
}

void ShellTests::defaultChartSettingsAndPreferencesSurviveARestart() {
    ChartSettings& defaults = m_app->Context().DefaultChartSettings();
    defaults.sampleRate = 500;
    defaults.viewSpan = 0.01;
    defaults.ColorBackGround = 0x112233;
    defaults.timeMode = 0;
    defaults.autoScroll = 0;
    defaults.reportFieldMasks[2] = 0x0F0F0F0F;
    RefreshStoredFonts(defaults); // the record stores the live fonts' descriptions
    const ChartSettingsBytes written = WriteChartSettings(defaults);
    m_app->Context().Settings().Set(CNumberedSettings::kExpertMode, 1);

    QVERIFY(Restart({QStringLiteral("--embedding")}));
    QVERIFY(WriteChartSettings(m_app->Context().DefaultChartSettings()) == written);
    QCOMPARE(m_app->Context().Settings().Get(CNumberedSettings::kExpertMode), 1u);
    // Every new chart window starts from them: its chart samples at the default rate.
    CTallonAppDocument* doc = m_app->OnFileNew();
    QVERIFY(doc);
    LONG rate = 0;
    doc->Chart()->get_Rate(&rate);
    QCOMPARE(rate, 500);
}

void ShellTests::channelBarPressAndHoldHighlightsUntilReleaseMoveOrExpiry() {
    zyn::test::ManualClock& clock = *m_clock;
    m_app->Context().clock = &clock;
    CMainFrame* frame = m_app->MainFrame();
    CTallonAppDocument* doc = ShowTwoChannels();
    QVERIFY(doc);
    QTreeWidget* list = frame->ChannelBar()->List();
    QWidget* viewport = list->viewport();
    auto cell = [&](int row) {
        return list->visualRect(list->model()->index(row, CChannelBar::ColName)).center();
    };
    auto channelId = [&](int row) {
        CComPtr<IZynChannel> channel;
        CComBSTR name(list->topLevelItem(row)->text(CChannelBar::ColName).toStdU16String().c_str());
        doc->Chart()->FindChannel(name, &channel);
        CComBSTR id;
        if (channel) channel->get_Identifier(&id);
        return QString::fromUtf16(id.View().data(), qsizetype(id.View().size()));
    };
    auto tick = [&](std::uint64_t ms) {
        QVERIFY(clock.Advance(ms));
        frame->OnTimer();
    };
    const QString diskId = channelId(1);
    QVERIFY(!diskId.isEmpty());

    // Held for more than a second: the row's channel is highlighted; for more than 2 s after that
    // the highlight expires although the button is still down.
    QTest::mousePress(viewport, Qt::LeftButton, {}, cell(1));
    tick(1000);
    QVERIFY(frame->HighlightedChannelId().isEmpty());
    tick(1);
    QCOMPARE(frame->HighlightedChannelId(), diskId);
    QCOMPARE(frame->HighlightedChartId(), frame->ChannelBar()->ChartIdentifier());
    tick(2000);
    QCOMPARE(frame->HighlightedChannelId(), diskId);
    tick(1);
    QVERIFY(frame->HighlightedChannelId().isEmpty());
    tick(5000);
    QVERIFY2(frame->HighlightedChannelId().isEmpty(), "one hold highlights once");
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell(1));

    // Released early: nothing.
    QTest::mousePress(viewport, Qt::LeftButton, {}, cell(1));
    tick(600);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell(1));
    tick(1000);
    QVERIFY(frame->HighlightedChannelId().isEmpty());

    // Moving up to 6 px keeps the hold; moving further ends the highlight at once.
    QTest::mousePress(viewport, Qt::LeftButton, {}, cell(0));
    QTest::mouseMove(viewport, cell(0) + QPoint(6, -6));
    tick(1001);
    QCOMPARE(frame->HighlightedChannelId(), channelId(0));
    QTest::mouseMove(viewport, cell(0) + QPoint(7, 0));
    QVERIFY(frame->HighlightedChannelId().isEmpty());
    tick(1001);
    QVERIFY(frame->HighlightedChannelId().isEmpty());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell(0) + QPoint(7, 0));

    // Releasing a held row ends its highlight.
    QTest::mousePress(viewport, Qt::LeftButton, {}, cell(0));
    tick(1001);
    QCOMPARE(frame->HighlightedChannelId(), channelId(0));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell(0));
    QVERIFY(frame->HighlightedChannelId().isEmpty());

    // Selecting with Shift highlights the new row at once, without Shift the highlight goes.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, cell(1));
    QCOMPARE(frame->HighlightedChannelId(), diskId);
    tick(2001);
    QVERIFY(frame->HighlightedChannelId().isEmpty());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, cell(0));
    QCOMPARE(frame->HighlightedChannelId(), channelId(0));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cell(1));
    QVERIFY(frame->HighlightedChannelId().isEmpty());
}

// A start with another installation's copy of the object library registered: the status pane says
// that the program's own copy was registered instead, as a warning.
void ShellTests::anotherObjectLibraryCopyIsNamedInTheStatusPane() {
    // init's start found the store in order: nothing to say.
    QVERIFY(!m_app->MainFrame()->StatusPane()->Message().contains(QStringLiteral("settings store")));
    EndApp();
    const std::string copy =
        zyn::test::RegisterAnotherCopy(m_dir->filePath(QStringLiteral("other")).toStdString());
    QVERIFY(!copy.empty());
    QVERIFY(StartApp({QStringLiteral("--embedding")})); // no splash
    const CStatusPane* pane = m_app->MainFrame()->StatusPane();
    QVERIFY2(pane->Message().contains(QString::fromStdString(copy)), qPrintable(pane->Message()));
    QCOMPARE(pane->Level(), 1);
}

void ShellTests::commandLine() {
    using K = TallonCommandLine::Kind;
    QCOMPARE(ParseTallonCommandLine({}).kind, K::FileNew);
    QVERIFY(ParseTallonCommandLine({}).noArguments);
    auto open = ParseTallonCommandLine({QStringLiteral("/tmp/a.tlon")});
    QCOMPARE(open.kind, K::FileOpen);
    QCOMPARE(open.file, QStringLiteral("/tmp/a.tlon"));
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("/p"), QStringLiteral("a.tlon")}).kind, K::Print);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("--print"), QStringLiteral("a.tlon")}).kind, K::Print);
    auto printTo =
        ParseTallonCommandLine({QStringLiteral("/pt"), QStringLiteral("a.tlon"), QStringLiteral("Office")});
    QCOMPARE(printTo.kind, K::PrintTo);
    QCOMPARE(printTo.printer, QStringLiteral("Office"));
    QVERIFY(ParseTallonCommandLine({QStringLiteral("/Embedding")}).embedding);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("--automation")}).kind, K::Automation);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("/Unregister")}).kind, K::Unregister);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("--unregister")}).kind, K::Unregister);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("/Register")}).kind, K::Register);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("/RegServer")}).kind, K::Register);
    auto image = ParseTallonCommandLine({QStringLiteral("--export-image"), QStringLiteral("c.tlon"),
                                         QStringLiteral("o.png"), QStringLiteral("--size"),
                                         QStringLiteral("640x480")});
    QCOMPARE(image.kind, K::ExportImage);
    QCOMPARE(image.size, QSize(640, 480));
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("--export-csv"), QStringLiteral("c.tlon")}).kind,
             K::Invalid);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("--export-image"), QStringLiteral("c"),
                                     QStringLiteral("o"), QStringLiteral("--size"), QStringLiteral("0x5")})
                 .kind,
             K::Invalid);
    QCOMPARE(ParseTallonCommandLine({QStringLiteral("--bogus")}).kind, K::Invalid);
    QCOMPARE(ApplyExtensionRule(QStringLiteral("/t/x"), 1), QStringLiteral("/t/x.csv"));
    QCOMPARE(ApplyExtensionRule(QStringLiteral("/t/x."), 0), QStringLiteral("/t/x.tlon"));
    QCOMPARE(ApplyExtensionRule(QStringLiteral("/t/x.csv"), 0), QStringLiteral("/t/x.csv"));
}

namespace {

// The share of a picture's pixels that are drawn (not transparent).
double Coverage(const QImage& image) {
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) > 128;
    return double(drawn) / (image.width() * image.height());
}

} // namespace

// Each button of the tool bar shows a picture, and the program's own one exists for every command
// (the fallback where the desktop's theme has none): drawn at 16 and 24 px, with enough ink to be
// seen, and redrawn in light ink for a dark palette.
void ShellTests::everyToolBarCommandHasItsPicture() {
    QPalette light, dark;
    light.setColor(QPalette::Window, QColor(239, 239, 239));
    dark.setColor(QPalette::Window, QColor(42, 46, 50));
    CMainFrame* frame = m_app->MainFrame();
    for (int id : ZynToolbarButtons()) {
        if (id == 0) continue;
        QVERIFY2(!frame->Action(id)->icon().isNull(), qPrintable(QString::number(id)));
        const auto entry = std::find_if(CommandIcons().begin(), CommandIcons().end(),
                                        [id](const CommandIcon& icon) { return icon.command == id; });
        QVERIFY2(entry != CommandIcons().end(), qPrintable(QString::number(id)));
        for (int size : {16, 24}) {
            const QImage onLight = OwnIcon(entry->ownName, light).pixmap(size).toImage();
            const QImage onDark = OwnIcon(entry->ownName, dark).pixmap(size).toImage();
            QCOMPARE(onLight.size(), QSize(size, size));
            const double coverage = Coverage(onLight);
            QVERIFY2(coverage > 0.12 && coverage < 0.9, entry->ownName);
            QVERIFY2(onLight != onDark, entry->ownName);
        }
    }
    QVERIFY(OwnIcon("no-such-picture", light).isNull());
    QVERIFY(!ApplicationIcon().isNull());
}

// Every context the program can ask help for (its windows, every command of its menus, tool bar and
// keys) leads to a page that is there, and the counters' page names the catalogue's counters.
void ShellTests::everyHelpRequestHasItsPage() {
    QSet<int> commands;
    std::function<void(const std::vector<ZynMenuItem>&)> collect =
        [&](const std::vector<ZynMenuItem>& items) {
            for (const auto& item : items) {
                if (item.IsPopup())
                    collect(item.items);
                else if (item.command)
                    commands.insert(item.command);
            }
        };
    for (int menu : {128, 129, 149, 150, 151, 152, 164, 165})
        collect(LoadZynMenu(menu));
    for (int id : ZynToolbarButtons())
        if (id) commands.insert(id);
    for (const auto& key : ZynAccelerators())
        commands.insert(key.command);
    for (int i = 0; i < 16; ++i)
        commands.insert(ZynCmd::RecentFile + i);
    QVERIFY(commands.size() > 50);
    QStringList missing;
    for (int id : commands) {
        const QString page = HelpPageForContext(kHelpCommandBase + std::uint32_t(id));
        if (page.isEmpty() || !QFile::exists(HelpFolder() + u'/' + page)) missing << QString::number(id);
    }
    for (int window : {128, 129, 150}) {
        const QString page = HelpPageForContext(kHelpWindowBase + std::uint32_t(window));
        if (page.isEmpty() || !QFile::exists(HelpFolder() + u'/' + page)) missing << QString::number(window);
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    // Only the low 16 bits count.
    QCOMPARE(HelpPageForContext(0x7F0000 + ZynCmd::AddEvent), QStringLiteral("events.html"));
    QVERIFY(HelpPageForContext(kHelpCommandBase + 1).isEmpty());

    QFile counters(HelpFolder() + QStringLiteral("/counters.html"));
    QVERIFY(counters.open(QIODevice::ReadOnly));
    const QByteArray html = counters.readAll();
    for (const char* text : {"<h2 id=\"processor\">Processor</h2>", "<td>% Processor Time</td>",
                             "Available MBytes", "Disk Read Bytes/sec", "Network Interface"})
        QVERIFY2(html.contains(text), text);
}

// F1 opens the page of the active window, Help Topics the contents, and Shift+F1 then a click on a
// tool-bar button the page of that button's command.
void ShellTests::helpCommandsOpenThePagesOfTheWindowAndTheCommand() {
    QVERIFY(ShowTwoChannels());
    CMainFrame* frame = m_app->MainFrame();
    QCOMPARE(frame->ActiveHelpContext(), kHelpWindowBase + 129);
    frame->Action(ZynCmd::Help)->trigger();
    QVERIFY(frame->HelpWindow() && frame->HelpWindow()->isVisible());
    QVERIFY2(frame->HelpWindow()->CurrentPage().endsWith(QStringLiteral("/chart-window.html")),
             qPrintable(frame->HelpWindow()->CurrentPage()));
    QVERIFY(frame->HelpWindow()->Browser()->toPlainText().contains(QStringLiteral("The channel bar")));

    frame->Action(ZynCmd::HelpTopics)->trigger();
    QVERIFY(frame->HelpWindow()->CurrentPage().endsWith(QStringLiteral("/index.html")));

    frame->Action(ZynCmd::ContextHelp)->trigger();
    QVERIFY(frame->InContextHelpMode());
    QToolButton* addChannel =
        qobject_cast<QToolButton*>(frame->ToolBar()->widgetForAction(frame->Action(ZynCmd::AddChannel)));
    QVERIFY(addChannel);
    QTest::mouseClick(addChannel, Qt::LeftButton);
    QVERIFY(!frame->InContextHelpMode());
    QVERIFY2(frame->HelpWindow()->CurrentPage().endsWith(QStringLiteral("/adding-counters.html")),
             qPrintable(frame->HelpWindow()->CurrentPage()));
    // The click asked for help; it did not run the command (whose counter browser would be up).
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(m_messages.isEmpty());

    // Esc leaves the mode without a page.
    frame->Action(ZynCmd::ContextHelp)->trigger();
    QTest::keyClick(frame, Qt::Key_Escape);
    QVERIFY(!frame->InContextHelpMode());
}

void ShellTests::folderTabsLayout() {
    CFolderTabCtrl tabs(LoadZynString(50088), 16, nullptr);
    QCOMPARE(tabs.Count(), 2);
    QCOMPARE(tabs.TabText(1), QStringLiteral("Report"));
    QCOMPARE(tabs.TabRect(1).left(), tabs.TabRect(0).right() + 1 - CFolderTabCtrl::kOverlap);
    QCOMPARE(tabs.NaturalWidth(), tabs.TabRect(1).right() + 1 + 10);
    QSignalSpy chosen(&tabs, &CFolderTabCtrl::TabChosen);
    tabs.resize(tabs.NaturalWidth(), 16);
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.TabRect(1).center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(tabs.Selected(), 1);
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.TabRect(1).center());
    QCOMPARE(chosen.count(), 1); // the selected tab sends nothing
}

namespace {

QPushButton* BarButton(CChannelBar* bar, const QString& text) {
    for (QPushButton* b : bar->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

QString ChannelIdentifier(IZynChannel* channel) {
    CComBSTR id;
    channel->get_Identifier(&id);
    return QString::fromUtf16(id.View().data(), qsizetype(id.View().size()));
}

} // namespace

// A selected row used to be lost at the first refill after a notification of the running chart:
// the next Autoscale, Delete or Properties then found no channel.
void ShellTests::channelBarSelectionSurvivesTheRefreshesOfARunningChart() {
    zyn::test::ManualClock& clock = *m_clock;
    m_app->Context().clock = &clock;
    CMainFrame* frame = m_app->MainFrame();
    frame->resize(1200, 800);
    frame->show();
    auto* window = qobject_cast<CChartWindowDocument*>(frame->ActiveDocument());
    QVERIFY(window);
    CTallonChart* doc = window->Document();
    for (const char* path :
         {"\\Processor(_Total)\\% Processor Time", "\\Memory\\Available MBytes", "\\System\\Processes"})
        QVERIFY(doc->AddChannelByPath(QString::fromLatin1(path)));
    CChannelBar* bar = frame->ChannelBar();
    QTreeWidget* list = bar->List();
    QTRY_COMPARE(list->topLevelItemCount(), 3);
    QPushButton* properties = BarButton(bar, QStringLiteral("Properties"));
    QPushButton* autoscale = BarButton(bar, QStringLiteral("Autoscale"));
    QVERIFY(properties && autoscale);
    QVERIFY2(!properties->isEnabled(), "nothing selected: nothing to show properties of");

    const auto channels = doc->Channels();
    const QString memoryId = ChannelIdentifier(channels[1]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(1, CChannelBar::ColName)).center());
    QCOMPARE(frame->SelectedChannelId(), memoryId);
    QVERIFY(properties->isEnabled());

    // Three seconds of a running chart: a sample and its notification each second.
    for (int second = 0; second < 3; ++second) {
        QVERIFY(SUCCEEDED(doc->Chart()->Sample()));
        QVERIFY(clock.Advance(1000));
        doc->OnChartNotify();
    }
    // Another channel goes (a script detaches it): the rows are made again, the selection stays.
    channels[0]->Detach();
    doc->OnChartNotify();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(frame->SelectedChannelId(), memoryId);
    QVERIFY(properties->isEnabled());

    m_messages.clear();
    autoscale->click();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'|')));
    const QString status = frame->StatusPane()->Message();
    QVERIFY2(status.startsWith(QStringLiteral("Autoscale done")) || status == LoadZynString(50139),
             qPrintable(status));

    // The selected channel itself goes: the selection goes with it, and Properties is disabled.
    channels[1]->Detach();
    doc->OnChartNotify();
    QCOMPARE(list->topLevelItemCount(), 1);
    QVERIFY(frame->SelectedChannelId().isEmpty());
    QVERIFY(!properties->isEnabled());
}

// At the default window size every cell used to show "…": the widths were shared out before the
// list had its width, and nobody could widen a column.
void ShellTests::channelBarColumnsFollowTheRuleUntilTheUserSizesThem() {
    CMainFrame* frame = m_app->MainFrame();
    CChannelBar* bar = frame->ChannelBar();
    QTreeWidget* list = bar->List();
    auto ruleWidths = [&] {
        return ComputeColumnWidths(list->width(), list->verticalScrollBar()->sizeHint().width(),
                                   RulesWithUserWidths(ChannelColumnRules(), bar->UserColumnWidths()));
    };
    auto shownWidths = [&] {
        std::vector<int> w;
        w.reserve(CChannelBar::kColumnCount);
        for (int i = 0; i < CChannelBar::kColumnCount; ++i)
            w.push_back(list->columnWidth(i));
        return w;
    };
    // The window as the program first shows it, untouched.
    QVERIFY(frame->isVisible());
    QCoreApplication::sendPostedEvents();
    QVERIFY(list->width() > 600);
    QCOMPARE(shownWidths(), ruleWidths());
    QVERIFY(list->columnWidth(CChannelBar::ColCounter) > 80);
    QVERIFY(ShowTwoChannels());
    QCOMPARE(shownWidths(), ruleWidths());

    // The user drags the Counter column wider: it keeps that width when the window changes, and
    // the other columns share the rest by the rule.
    QHeaderView* header = list->header();
    QCOMPARE(header->sectionResizeMode(CChannelBar::ColCounter), QHeaderView::Interactive);
    QCOMPARE(header->sectionResizeMode(CChannelBar::ColVisible), QHeaderView::Fixed);
    header->resizeSection(CChannelBar::ColCounter, 333);
    frame->resize(frame->width() - 150, frame->height());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(list->columnWidth(CChannelBar::ColCounter), 333);
    QCOMPARE(shownWidths(), ruleWidths());

    // And at the next start.
    QVERIFY(Restart({QStringLiteral("--embedding")}));
    QCOMPARE(m_app->MainFrame()->ChannelBar()->UserColumnWidths()[CChannelBar::ColCounter], 333);
    m_app->MainFrame()->show();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_app->MainFrame()->ChannelBar()->List()->columnWidth(CChannelBar::ColCounter), 333);
}

// "% Processor Time" of _Total, 0 and 1 looked the same in every column, and a cut-off cell had
// no way to show its text.
// A disk's maximum of 26,634,694 bytes/sec showed as "26,6…,694" in a value column of the default
// width: another number to anyone reading it.
void ShellTests::channelBarValuesNeverCutANumber() {
    const QFontMetrics m(QApplication::font());
    const auto width = [&](const char* t) { return m.horizontalAdvance(QString::fromLatin1(t)); };
    const QString big = QStringLiteral("26,634,694");
    QCOMPARE(FitValueText(big, m, width("26,634,694")), big);
    QCOMPARE(FitValueText(big, m, width("26.6M")), QStringLiteral("26.6M"));
    QCOMPARE(FitValueText(big, m, width("27M")), QStringLiteral("27M"));
    QCOMPARE(FitValueText(QStringLiteral("-1,500"), m, width("-1.5k")), QStringLiteral("-1.5k"));
    QCOMPARE(FitValueText(QStringLiteral("0.787"), m, width("0.8")), QStringLiteral("0.8"));
    QCOMPARE(FitValueText(QStringLiteral("3,100,000,000,000"), m, width("3.10T")), QStringLiteral("3.10T"));
    // Text that is no number is still elided in the middle.
    const QString fitted = FitValueText(QStringLiteral("no value here at all"), m, width("no va"));
    QVERIFY2(fitted.contains(QChar(0x2026)), qPrintable(fitted));
}

void ShellTests::channelBarRowsTellInstancesApartAndTipTheWholeText() {
    CMainFrame* frame = m_app->MainFrame();
    frame->resize(1200, 800);
    frame->show();
    auto* window = qobject_cast<CChartWindowDocument*>(frame->ActiveDocument());
    CTallonChart* doc = window->Document();
    QVERIFY(doc->AddChannelByPath(QStringLiteral("\\Processor(_Total)\\% Processor Time")));
    QVERIFY(doc->AddChannelByPath(QStringLiteral("\\Processor(0)\\% Processor Time")));
    QVERIFY(doc->AddChannelByPath(QStringLiteral("\\Memory\\Available MBytes")));
    QVERIFY(SUCCEEDED(doc->Chart()->Sample()));
    frame->ChannelBarShowDocument(window, true);
    QTreeWidget* list = frame->ChannelBar()->List();
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(0)->text(CChannelBar::ColCounter),
             QStringLiteral("% Processor Time (Total)"));
    QCOMPARE(list->topLevelItem(1)->text(CChannelBar::ColCounter), QStringLiteral("% Processor Time (0)"));
    QCOMPARE(list->topLevelItem(2)->text(CChannelBar::ColCounter), QStringLiteral("Available MBytes"));
    QCOMPARE(list->topLevelItem(1)->text(CChannelBar::ColObject), QStringLiteral("Processor"));

    const QTreeWidgetItem* memory = list->topLevelItem(2);
    const QString tip = memory->toolTip(CChannelBar::ColLast);
    QVERIFY2(tip.contains(QStringLiteral("\\Memory\\Available MBytes")), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("Last: ") + memory->text(CChannelBar::ColLast) +
                          QStringLiteral(" MBytes")),
             qPrintable(tip));
    QCOMPARE(memory->toolTip(CChannelBar::ColName), tip);
    QVERIFY(!memory->text(CChannelBar::ColLast).isEmpty());
}

void ShellTests::fileOnTheCommandLineFillsTheChannelBarWithoutTheAddChannelTip() {
    const QString path = WriteTwoChannelFile(QStringLiteral("two.tlon"));
    QVERIFY(!path.isEmpty());
    // A user who never added a channel: a plain start would invite them to.
    QCOMPARE(m_app->Context().Settings().Get(CNumberedSettings::kAddChannelUses), 0u);
    QVERIFY(Restart({path}));
    CMainFrame* frame = m_app->MainFrame();
    QVERIFY(frame->isVisible());
    QTreeWidget* list = frame->ChannelBar()->List();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(1)->text(CChannelBar::ColName), QStringLiteral("Disk"));
    QCoreApplication::sendPostedEvents(); // the start-up tasks
    QVERIFY2(!frame->Tip(), "the opened chart has its channels");
    // The chart window was sized before the frame had its size, and came up 200 by 150.
    CChildFrame* child = frame->ActiveChild();
    QVERIFY(child && child->mdiArea());
    const QSize area = child->mdiArea()->viewport()->size();
    QVERIFY2(area.width() > 300 && area.height() > 200, "a frame that fits the screen");
    QTRY_COMPARE(child->size(), QSize(600, 400).boundedTo(area));

    // Without a file the chart is empty and the tip comes.
    QVERIFY(Restart({QStringLiteral("--embedding")}));
    m_app->OnFileNew();
    m_app->MainFrame()->show();
    m_app->MainFrame()->RunStartupTasks();
    QVERIFY(m_app->MainFrame()->Tip());
    QCOMPARE(m_app->MainFrame()->Tip()->Title(), QStringLiteral("Add a channel"));
    // Using a command closes it: it must not sit over the dialog the command opens.
    m_app->MainFrame()->OnCommand(ZynCmd::Refresh);
    QTRY_VERIFY(!m_app->MainFrame()->Tip());
}

// After Rerun on an opened file new samples arrived, but Exit quit without asking to save them.
void ShellTests::samplesRecordedAfterOpeningMarkTheDocumentModified() {
    CMainFrame* frame = m_app->MainFrame();
    CTallonAppDocument* doc = frame->ActiveDocument();
    QVERIFY(static_cast<CChartWindowDocument*>(doc)->Document()->AddChannelByPath(
        QStringLiteral("\\Memory\\Available MBytes")));
    doc->Chart()->put_Run(0);
    QVERIFY(SUCCEEDED(doc->Chart()->Sample()));
    const QString path = m_dir->filePath(QStringLiteral("recorded.tlon"));
    QVERIFY(doc->OnSaveDocument(path));
    m_app->CloseDocument(doc);

    CTallonAppDocument* opened = m_app->OpenDocumentFile(path);
    QVERIFY(opened);
    QVERIFY(!opened->IsModified());
    m_answer = QMessageBox::Yes;
    frame->OnCommand(ZynCmd::Rerun);
    QCOMPARE(m_messages, QStringList{LoadZynString(32812)});
    LONG run = 0;
    opened->Chart()->get_Run(&run);
    QCOMPARE(run, 1L);
    // The chart's own thread samples and its notification arrives on the GUI thread.
    QTRY_VERIFY_WITH_TIMEOUT(opened->IsModified(), 15000);
    opened->Chart()->put_Run(0);

    // So Exit asks; No lets the program go.
    m_messages.clear();
    m_answer = QMessageBox::No;
    QVERIFY(frame->close());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages[0].startsWith(QStringLiteral("Save changes to")));
}

void ShellTests::failuresNameTheFileAndTheReason() {
    const QString corrupt = m_dir->filePath(QStringLiteral("corrupt.tlon"));
    QFile f(corrupt);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromHex("030000005a796e20ffffff00"));
    f.close();

    // Opened in a running program: the fixed message, and the status pane names file and reason.
    QVERIFY(!m_app->OpenDocumentFile(corrupt));
    QCOMPARE(m_messages, QStringList{LoadZynString(50111)});
    const QString status = m_app->MainFrame()->StatusPane()->Message();
    QVERIFY2(status.contains(corrupt) && status.contains(QStringLiteral("ends too early")),
             qPrintable(status));
    QCOMPARE(m_app->MainFrame()->StatusPane()->Level(), 2);

    // Given on the command line: start-up fails with the same words for standard error.
    m_messages.clear();
    EndApp();
    QVERIFY(!StartApp({corrupt}));
    QVERIFY2(m_app->LastError().contains(corrupt) &&
                 m_app->LastError().contains(QStringLiteral("ends too early")),
             qPrintable(m_app->LastError()));
    EndApp();
    const QString missing = m_dir->filePath(QStringLiteral("missing.tlon"));
    QVERIFY(!StartApp({missing}));
    QVERIFY2(m_app->LastError().contains(missing) &&
                 m_app->LastError().contains(QStringLiteral("does not exist")),
             qPrintable(m_app->LastError()));
}

// "Autoscale done. Display range is Min=0.00 Max=24.00" showed as "…Max=24." in a pane of fixed
// width.
void ShellTests::statusPaneShowsWholeMessagesAndNeverCutsANumber() {
    CMainFrame* frame = m_app->MainFrame();
    frame->resize(1000, 700);
    frame->show();
    CStatusPane* pane = frame->StatusPane();
    const QString text = ZynFormat(50084, {QStringLiteral("1,234,567.00"), QStringLiteral("24,000,000.00")});
    frame->ShowStatusMessage(text, 0);
    QCoreApplication::sendPostedEvents();
    QTRY_VERIFY(pane->width() >= pane->fontMetrics().horizontalAdvance(text));
    QCOMPARE(pane->DisplayedText(), text);
    QCOMPARE(pane->toolTip(), text);

    // Where even the whole bar is too narrow, whole words are left out, never part of a number.
    const QFontMetrics fm = pane->fontMetrics();
    for (int width = 20; width < fm.horizontalAdvance(text); width += 7) {
        const QString shown = CStatusPane::FitText(text, fm, width);
        QVERIFY(fm.horizontalAdvance(shown) <= width || shown == QString(QChar(0x2026)));
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QString kept = shown;
        kept.chop(1);
        QVERIFY2(kept.isEmpty() || text.startsWith(kept + u' '), qPrintable(shown));
    }
    // The tool tip goes with the message.
    for (int i = 0; i < 91; ++i)
        pane->Tick();
    QVERIFY(pane->toolTip().isEmpty());
}

// Saving did not write the view's zoom into the chart's settings: a chart saved at ten minutes
// reopened at three.
void ShellTests::savedChartReopensWithItsZoom() {
    CMainFrame* frame = m_app->MainFrame();
    frame->show();
    QVERIFY(ShowTwoChannels());
    auto* view = qobject_cast<CTallonView*>(frame->ActiveChild()->Folder()->View());
    QVERIFY(view);
    const double tenMinutes = 10.0 / 1440.0;
    // Zoom one step wider from five minutes, as the Zoom button with Shift does.
    view->SetZoom(5.0 / 1440.0);
    view->ZoomStep(true);
    QCOMPARE(view->TimeSpan(), tenMinutes);
    const QString path = m_dir->filePath(QStringLiteral("zoomed.tlon"));
    m_app->SetPromptHook([&](bool open, QString& chosen, int& filter) {
        if (open) return false;
        chosen = path;
        filter = 0;
        return true;
    });
    frame->OnCommand(ZynCmd::FileSaveAs);
    QVERIFY(QFile::exists(path));

    // The record at the end of the file holds the span (offset 168) and the view's time mode.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QByteArray record = bytes.right(324);
    double span = 0;
    std::memcpy(&span, record.constData() + 168, sizeof span);
    QCOMPARE(span, tenMinutes);
    std::uint32_t mode = 9;
    std::memcpy(&mode, record.constData() + 28, sizeof mode);
    QCOMPARE(mode, std::uint32_t(view->TimeMode()));

    m_app->CloseDocument(frame->ActiveDocument());
    QTRY_COMPARE(frame->MdiArea()->subWindowList().size(), 0);
    QVERIFY(m_app->OpenDocumentFile(path));
    auto* reopened = qobject_cast<CTallonView*>(frame->ActiveChild()->Folder()->View());
    QVERIFY(reopened);
    QCOMPARE(reopened->TimeSpan(), tenMinutes);
}

// At a scale factor of 2 the first window was larger than the screen.
void ShellTests::firstWindowFitsTheScreen() {
    CMainFrame* frame = m_app->MainFrame();
    frame->show();
    const QRect available = frame->screen()->availableGeometry();
    QVERIFY2(available.width() < 1000 || available.height() < 700, "the offscreen screen is smaller");
    QVERIFY2(frame->frameGeometry().width() <= available.width() &&
                 frame->frameGeometry().height() <= available.height(),
             qPrintable(QStringLiteral("%1x%2 on %3x%4")
                            .arg(frame->frameGeometry().width())
                            .arg(frame->frameGeometry().height())
                            .arg(available.width())
                            .arg(available.height())));
    QVERIFY(available.contains(frame->frameGeometry().topLeft()));
}

QTEST_MAIN(ShellTests)
#include "ShellTests.moc"

// A settings database that is not a database held the program on its splash and made every save
// wait; it is moved aside (kept), the user is told once with its name, and the settings are saved
// again from then on.
void ShellTests::damagedSettingsAreMovedAsideSaidOnceAndSavedAgain() {
    EndApp();
    auto store = std::make_unique<zyn::test::TempSettingsStore>();
    const QString storeDir = QString::fromStdString(store->Path());
    const QByteArray junk(qsizetype(32) * 1024, '\x5a');
    for (const char* hive : {"user.db", "classes.db"}) {
        QFile f(storeDir + u'/' + QLatin1String(hive));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    const QString csv = m_dir->filePath(QStringLiteral("start.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Time,CPU\n10:00:00,1\n10:00:01,2\n");
    file.close();

    QElapsedTimer started;
    started.start();
    QVERIFY(StartApp({csv}));
    QVERIFY2(started.elapsed() < 5000, qPrintable(QString::number(started.elapsed())));
    QTRY_COMPARE(m_messages.size(), 2);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_messages.size(), 2); // once each
    const QStringList user = m_messages.filter(storeDir + QStringLiteral("/user.db "));
    QCOMPARE(user.size(), 1);
    QVERIFY2(user[0].contains(QStringLiteral("damaged")), qPrintable(user[0]));
    const QStringList kept = QDir(storeDir).entryList({QStringLiteral("user.db.damaged-*")});
    QCOMPARE(kept.size(), 1);
    QFile keptFile(storeDir + u'/' + kept[0]);
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QCOMPARE(keptFile.readAll(), junk);

    m_app->Context().DefaultChartSettings().sampleRate = 750;
    QElapsedTimer ending;
    ending.start();
    EndApp();
    QVERIFY2(ending.elapsed() < 5000, qPrintable(QString::number(ending.elapsed())));
    QVERIFY(StartApp({QStringLiteral("--embedding")}));
    QCOMPARE(m_app->Context().DefaultChartSettings().sampleRate, 750u);
    QCOMPARE(m_messages.size(), 2);
    EndApp();
    store.reset();
    QVERIFY(StartApp({QStringLiteral("--embedding")})); // a program for cleanup()
}

// The object library keeps a chart whose records end part-way (with what it read); the window
// opens it and says that it is not the whole file.
void ShellTests::aChartFileReadInPartOpensWithAWarning() {
    CTallonAppDocument* doc = m_app->MainFrame()->ActiveDocument();
    QVERIFY(zyn::csv::ImportText(doc->Chart(), u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,4\n10:00:02,5,6\n"));
    const QString whole = m_dir->filePath(QStringLiteral("whole.tlon"));
    QVERIFY(doc->OnSaveDocument(whole));
    QFile in(whole);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const std::vector<std::uint8_t> file(bytes.begin(), bytes.end());
    zyn::chartfile::ChartFileParts parts;
    QCOMPARE(zyn::chartfile::ParseChartFile(file, parts), zyn::chartfile::ChartFileError::None);
    CZynGrowBuff records;
    records.Write(parts.chart.data(), static_cast<unsigned long>(parts.chart.size()));
    QVERIFY(records.Decompress());
    // Cut in the second channel's values.
    CZynGrowBuff cut;
    cut.Write(records.GetBuffer(), records.GetSize() - 40);
    QVERIFY(cut.Compress(3));
    const std::vector<std::uint8_t> packed(cut.GetBuffer(), cut.GetBuffer() + cut.GetSize());
    std::array<std::uint8_t, zyn::chartfile::kSettingsBytes> settings{};
    std::copy(parts.settings.begin(), parts.settings.end(), settings.begin());
    const std::vector<std::uint8_t> damaged = zyn::chartfile::ComposeChartFile(packed, settings);
    const QString path = m_dir->filePath(QStringLiteral("part.tlon"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(damaged.data()), qint64(damaged.size()));
    out.close();

    m_messages.clear();
    CTallonAppDocument* opened = m_app->OpenDocumentFile(path);
    QVERIFY(opened);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains(path) && m_messages[0].contains(QStringLiteral("only in part")),
             qPrintable(m_messages[0]));
    QCOMPARE(ChannelsAndCounts(opened->Chart()).value(0), QStringLiteral("CPU:3"));

    // The whole file opens without a word.
    m_messages.clear();
    const QString copy = m_dir->filePath(QStringLiteral("whole-copy.tlon"));
    QVERIFY(QFile::copy(whole, copy));
    QVERIFY(m_app->OpenDocumentFile(copy));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'|')));
}

// Item `text` of the top-level menu `menu`, updated as the menu would be before it shows.
static QAction* MenuItem(CMainFrame* frame, const QString& menu, const QString& text) {
    QMenu* top = TopMenu(frame->menuBar(), menu);
    if (!top) return nullptr;
    emit top->aboutToShow();
    for (QAction* a : top->actions())
        if (a->text() == text) return a;
    return nullptr;
}

void ShellTests::reportPageThroughTheMenus() {
    CMainFrame* frame = m_app->MainFrame();
    frame->resize(1000, 700);
    CTallonAppDocument* doc = frame->ActiveDocument();
    QVERIFY(zyn::csv::ImportText(doc->Chart(), u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,4\n10:00:02,5,6\n"));
    CChildFrame* child = frame->ActiveChild();
    child->Folder()->ShowTab(1);
    auto* report = qobject_cast<CReportView*>(child->Folder()->View());
    QVERIFY(report);
    QCOMPARE(frame->CurrentMenuId(), 150);
    QVERIFY(ReportText(report->Report()).contains(QStringLiteral("\tCPU : ")));

    // Edit: Copy names the report; cut, paste and the chart's commands are off.
    QAction* copy = MenuItem(frame, QStringLiteral("&Edit"), QStringLiteral("&Copy (Report)\tCtrl+C"));
    QVERIFY(copy);
    QVERIFY(copy->isEnabled());
    QVERIFY(!frame->Action(ZynCmd::EditCut)->isEnabled());
    QVERIFY(!frame->Action(ZynCmd::EditPaste)->isEnabled());
    QVERIFY(!frame->Action(ZynCmd::AddChannel)->isEnabled());
    QVERIFY(!frame->Action(ZynCmd::SampleData)->isEnabled());
    QGuiApplication::clipboard()->clear();
    copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), ReportText(report->Report()));
    QCOMPARE(frame->StatusPane()->Message(), QStringLiteral("Report has been placed in to the Clipboard."));

    // Report: Refresh Data rebuilds with the samples added since.
    QVERIFY(zyn::csv::ImportText(doc->Chart(), u"Time,Extra\n10:00:05,9\n"));
    QVERIFY(!ReportText(report->Report()).contains(QStringLiteral("Extra")));
    const int builds = report->Builds();
    QAction* refresh = MenuItem(frame, QStringLiteral("&Report"), QStringLiteral("&Refresh Data"));
    QVERIFY(refresh && refresh->isEnabled());
    refresh->trigger();
    QCOMPARE(report->Builds(), builds + 1);
    QVERIFY(ReportText(report->Report()).contains(QStringLiteral("Extra")));

    // Properties from the menu and by double-click open the "Report Properties" sheet, with the
    // report page told while it runs.
    QAction* properties = MenuItem(frame, QStringLiteral("&Report"), QStringLiteral("Properties..."));
    QVERIFY(properties && properties->isEnabled());
    QStringList titles;
    QList<bool> openWhileShown;
    const auto driveSheet = [&](QDialog* sheet) {
        titles << sheet->windowTitle();
        openWhileShown << report->PropertiesOpen();
    };
    auto driven = OnNextModal<QDialog>(driveSheet);
    properties->trigger();
    QCOMPARE(driven->count, 1);
    driven = OnNextModal<QDialog>(driveSheet);
    QTest::mouseDClick(report->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
    QCOMPARE(driven->count, 1);
    QCOMPARE(titles, QStringList({QStringLiteral("Report Properties"), QStringLiteral("Report Properties")}));
    QCOMPARE(openWhileShown, QList<bool>({true, true}));
    QVERIFY(!report->PropertiesOpen());

    // The frame's vertical bar scrolls the report.
    child->resize(400, 300);
    QTRY_VERIFY(report->verticalScrollBar()->maximum() > 0);
    QCOMPARE(child->Folder()->VerticalScrollBar()->maximum(), report->verticalScrollBar()->maximum());
    child->Folder()->VerticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QVERIFY(report->verticalScrollBar()->value() > 0);

    // Back on the chart page its own commands return.
    child->Folder()->ShowTab(0);
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::AddChannel)->isEnabled());
    QCOMPARE(frame->CurrentMenuId(), 129);
}

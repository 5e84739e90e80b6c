// The sheets and dialogs as the program opens them: through the frame's commands, the chart
// view's double-clicks, the channel bar's Properties button and the Stop Event menus.

#include "RunningProgram.h"
#include "com/ccombstr.h"
#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "options/AboutBox.h"
#include "options/ChannelPage.h"
#include "options/ChannelPropertySheet.h"
#include "options/ChannelText.h"
#include "options/ChartPage.h"
#include "options/ChartPropertySheet.h"
#include "options/EventDialog.h"
#include "options/PreferencesSheet.h"
#include "options/tests/ModalDriver.h"
#include "resources/ZynMenus.h"
#include "resources/ZynStrings.h"
#include "shell/ChannelBar.h"
#include "shell/ChartWindowDocument.h"
#include "shell/ChildFrame.h"
#include "shell/MainFrame.h"
#include "shell/StatusPane.h"
#include "shell/TallonApp.h"
#include "testing/TempSettingsStore.h"
#include "view/ChartRenderSource.h"
#include "view/ChartView.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

QMenu* TopMenu(QMenuBar* bar, const QString& text) {
    for (QAction* a : bar->actions())
        if (a->text() == text) return a->menu();
    return nullptr;
}

// Opens a menu as a user does, so that its update handlers run, and closes it again.
void OpenAndClose(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    menu->hide();
}

QMenu* SubMenu(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a->menu();
    return nullptr;
}

QStringList Texts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        out << a->text();
    return out;
}

} // namespace

class OptionCommandTests : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void chartPropertiesFromTheCommandAndTheAxis();
    void preferencesAskOnlyWithChartWindowsOpen();
    void stopEventMenusListRunningEventsAndStopTheChosenOne();
    void doubleClickOnAnEventMarkerEditsTheEvent();
    void addEventCommandUsesTheEventDialog();
    void channelBarPropertiesOpensTheChannelSheet();
    void printSetupAndAbout();

private:
    CChartWindowDocument* ActiveDoc() const {
        return qobject_cast<CChartWindowDocument*>(m_app->MainFrame()->ActiveDocument());
    }
    std::unique_ptr<zyn::test::TempSettingsStore> m_store;
    CTallonApp* m_app = nullptr;
    QStringList m_messages;
    QStringList m_questions;
    bool m_answer = true;
};

void OptionCommandTests::init() {
    m_store = std::make_unique<zyn::test::TempSettingsStore>();
    m_messages.clear();
    m_questions.clear();
    SetZynMessageHook([this](const QString& text, QMessageBox::StandardButtons buttons) {
        if (!buttons.testFlag(QMessageBox::Yes)) {
            m_messages << text;
            return QMessageBox::Ok;
        }
        m_questions << text;
        return m_answer ? QMessageBox::Yes : QMessageBox::No;
    });
    m_app = zyn::test::StartProgram();
    QVERIFY(m_app);
}

void OptionCommandTests::cleanup() {
    for (CTallonAppDocument* doc : m_app->Documents())
        if (doc->Chart()) doc->Chart()->put_Run(0);
    zyn::test::EndProgram(m_app);
    SetZynMessageHook(nullptr);
    m_store.reset();
}

void OptionCommandTests::chartPropertiesFromTheCommandAndTheAxis() {
    CMainFrame* frame = m_app->MainFrame();
    auto* doc = ActiveDoc();
    QVERIFY(doc);
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::ChartProperties)->isEnabled());
    auto driven = OnNextModal<CChartPropertySheet>([](CChartPropertySheet* sheet) {
        QCOMPARE(sheet->windowTitle(), QStringLiteral("Chart Properties"));
        QCOMPARE(sheet->ActivePage(), 0);
        auto* chart = dynamic_cast<CChartPage*>(sheet->Page(1));
        QVERIFY(chart);
        chart->Colours()->Choose(5);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    frame->Action(ZynCmd::ChartProperties)->trigger();
    QCOMPARE(driven->count, 1);
    QCOMPARE(doc->Settings().ColorBackGround, ZynRGB(240, 230, 140));
    QCOMPARE(frame->StatusPane()->Message(), QStringLiteral("Applying configuration changes"));

    // A double-click on the value labels opens the sheet at the Axis page.
    auto* view = doc->ActiveView();
    QVERIFY(view);
    view->Refresh();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QPoint onLabels = view->Renderer().ValueLabelColumn().center();
    QVERIFY(!view->Renderer().ValueLabelColumn().isEmpty());
    driven = OnNextModal<CChartPropertySheet>([](CChartPropertySheet* sheet) {
        QCOMPARE(sheet->ActivePage(), int(CChartPropertySheet::kAxisPage));
        sheet->reject();
    });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, onLabels);
    QCOMPARE(driven->count, 1);
}

void OptionCommandTests::preferencesAskOnlyWithChartWindowsOpen() {
    CMainFrame* frame = m_app->MainFrame();
    auto* doc = ActiveDoc();
    QVERIFY(doc);
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::Preferences)->isEnabled());
    auto driven = OnNextModal<CPreferencesSheet>([](CPreferencesSheet* sheet) {
        QCOMPARE(sheet->windowTitle(), QStringLiteral("Set Application Preferences"));
        dynamic_cast<CChartPage*>(sheet->Page(1))->Colours()->Choose(8);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    frame->OnCommand(ZynCmd::Preferences);
    QCOMPARE(driven->count, 1);
    QCOMPARE(m_questions, QStringList{LoadZynString(50079)});
    QCOMPARE(m_app->Context().DefaultChartSettings().ColorBackGround, ZynRGB(0, 0, 48));
    QCOMPARE(doc->Settings().ColorBackGround, ZynRGB(0, 0, 48)); // Yes gives the open window the new defaults

    // Without a chart window there is nobody to ask about.
    doc->SetModifiedFlag(false);
    m_app->CloseDocument(doc);
    QVERIFY(m_app->Documents().empty());
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::Preferences)->isEnabled());
    m_questions.clear();
    driven = OnNextModal<CPreferencesSheet>([](CPreferencesSheet* sheet) {
        dynamic_cast<CChartPage*>(sheet->Page(1))->Colours()->Choose(3);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    frame->OnCommand(ZynCmd::Preferences);
    QCOMPARE(driven->count, 1);
    QVERIFY(m_questions.isEmpty());
    QCOMPARE(m_app->Context().DefaultChartSettings().ColorBackGround, ZynRGB(80, 80, 80));
}

void OptionCommandTests::stopEventMenusListRunningEventsAndStopTheChosenOne() {
    CMainFrame* frame = m_app->MainFrame();
    auto* doc = ActiveDoc();
    QVERIFY(doc);
    QVERIFY(doc->Document()->AddChannelByPath(QStringLiteral("\\Processor(_Total)\\% Processor Time")));
    doc->Chart()->put_Rate(100);
    doc->Chart()->put_Run(1);
    QMenu* chartMenu = TopMenu(frame->menuBar(), QStringLiteral("&Chart"));
    QVERIFY(chartMenu);
    QMenu* stop = SubMenu(chartMenu, QStringLiteral("&Stop Event"));
    QVERIFY(stop);
    OpenAndClose(chartMenu);
    QCOMPARE(Texts(stop), QStringList{QStringLiteral("No Events to Stop")});
    QVERIFY(!stop->menuAction()->isEnabled());

    CComPtr<IZynEvent> first, second;
    QCOMPARE(doc->Chart()->AddEvent(ToBstr(QStringLiteral("Build")), &first), S_OK);
    QCOMPARE(doc->Chart()->AddEvent(ToBstr(QStringLiteral("Tests")), &second), S_OK);
    OpenAndClose(chartMenu);
    QCOMPARE(Texts(stop), (QStringList{QStringLiteral("Build (1)"), QStringLiteral("Tests (2)")}));
    QVERIFY(stop->menuAction()->isEnabled());
    stop->actions().at(1)->trigger();
    LONG running = 1;
    second->get_InProgress(&running);
    QCOMPARE(running, 0);
    first->get_InProgress(&running);
    QCOMPARE(running, 1); // only the chosen event stops
    QCOMPARE(frame->StatusPane()->Message(), QStringLiteral("Tests has been stopped."));
    LONG run = 0;
    doc->Chart()->get_Run(&run);
    QCOMPARE(run, 1); // the chart keeps running

    // The Add Event button's drop-down carries the same submenu.
    QToolButton* addEvent =
        qobject_cast<QToolButton*>(frame->ToolBar()->widgetForAction(frame->Action(ZynCmd::AddEvent)));
    QVERIFY(addEvent && addEvent->menu());
    OpenAndClose(addEvent->menu());
    QMenu* dropStop = SubMenu(addEvent->menu(), QStringLiteral("&Stop Event"));
    QVERIFY(dropStop);
    QCOMPARE(Texts(dropStop), QStringList{QStringLiteral("Build (1)")});
    dropStop->actions().at(0)->trigger();
    first->get_InProgress(&running);
    QCOMPARE(running, 0);
    OpenAndClose(addEvent->menu());
    QCOMPARE(Texts(dropStop), QStringList{QStringLiteral("No Events to Stop")});
    QVERIFY(!dropStop->menuAction()->isEnabled());
}

void OptionCommandTests::doubleClickOnAnEventMarkerEditsTheEvent() {
    auto* doc = ActiveDoc();
    QVERIFY(doc);
    QVERIFY(doc->Document()->AddChannelByPath(QStringLiteral("\\Processor(_Total)\\% Processor Time")));
    doc->Chart()->put_Rate(100);
    doc->Chart()->put_Run(1);
    CComPtr<IZynEvent> event;
    QCOMPARE(doc->Chart()->AddEvent(ToBstr(QStringLiteral("Spike")), &event), S_OK);
    auto* view = doc->ActiveView();
    QVERIFY(view);
    view->Refresh();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    QImage probe(1, 1, QImage::Format_RGB32);
    QPainter painter(&probe);
    const auto markers = view->Renderer().LayoutMarkers(painter, GatherRenderInput(*doc->Document()));
    painter.end();
    QCOMPARE(markers.size(), std::size_t(1));
    const QRect plot = view->Renderer().PlotRect();
    const QPoint at = markers[0].rect.center() + QPoint(plot.left() - view->ScrollPosition(), plot.top());
    QVERIFY(plot.contains(at));

    auto driven = OnNextModal<CEventDialog>([](CEventDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Edit Event"));
        QCOMPARE(dialog->Name(), QStringLiteral("Spike"));
        dialog->NameEdit()->setText(QStringLiteral("CPU spike"));
        dialog->accept();
    });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(driven->count, 1);
    QCOMPARE(ChannelText(event.p, &IZynEvent::get_Name), QStringLiteral("CPU spike"));

    driven = OnNextModal<CEventDialog>([](CEventDialog* dialog) { dialog->DeleteButton()->click(); });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(driven->count, 1);
    QVERIFY(doc->Document()->Events().empty());
}

void OptionCommandTests::addEventCommandUsesTheEventDialog() {
    CMainFrame* frame = m_app->MainFrame();
    auto* doc = ActiveDoc();
    QVERIFY(doc);
    auto driven = OnNextModal<CEventDialog>([](CEventDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Add Event"));
        dialog->NameEdit()->setText(QStringLiteral("Deploy"));
        dialog->accept();
    });
    frame->OnCommand(ZynCmd::AddEvent);
    QCOMPARE(driven->count, 1);
    const auto events = doc->Document()->Events();
    QCOMPARE(events.size(), std::size_t(1));
    QCOMPARE(ChannelText(events[0].p, &IZynEvent::get_Name), QStringLiteral("Deploy"));
}

void OptionCommandTests::channelBarPropertiesOpensTheChannelSheet() {
    CMainFrame* frame = m_app->MainFrame();
    auto* doc = ActiveDoc();
    QVERIFY(doc);
    QVERIFY(doc->Document()->AddChannelByPath(QStringLiteral("\\Memory\\Available MBytes")));
    frame->ChannelBarShowDocument(doc, true);
    QTreeWidget* list = frame->ChannelBar()->List();
    QCOMPARE(list->topLevelItemCount(), 1);
    list->setCurrentItem(list->topLevelItem(0));
    QPushButton* properties = nullptr;
    for (QPushButton* b : frame->ChannelBar()->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Properties")) properties = b;
    QVERIFY(properties);
    std::uint32_t sheetOpen = 0;
    auto driven = OnNextModal<CChannelPropertySheet>([&](CChannelPropertySheet* sheet) {
        sheetOpen = m_app->Context().Settings().Get(CNumberedSettings::kChannelSheetOpen);
        QCOMPARE(sheet->windowTitle(), QStringLiteral("Channel Properties"));
        auto* page = dynamic_cast<CChannelPage*>(sheet->Page(0));
        QVERIFY(page);
        page->NameEdit()->setText(QStringLiteral("Free memory"));
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    properties->click();
    QCOMPARE(driven->count, 1);
    QCOMPARE(sheetOpen, 1u);
    QCOMPARE(m_app->Context().Settings().Get(CNumberedSettings::kChannelSheetOpen), 0u);
    QCOMPARE(list->topLevelItem(0)->text(CChannelBar::ColName),
             QStringLiteral("Free memory")); // the bar shows the change at once
}

void OptionCommandTests::printSetupAndAbout() {
    CMainFrame* frame = m_app->MainFrame();
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::PrintSetup)->isEnabled());
    QVERIFY(!m_app->Context().printPageLayout);
    auto driven = OnNextModal<QPageSetupDialog>([](QPageSetupDialog* dialog) { dialog->accept(); });
    frame->OnCommand(ZynCmd::PrintSetup);
    QCOMPARE(driven->count, 1);
    QVERIFY(m_app->Context().printPageLayout); // the next print uses the page chosen

    QString version;
    driven = OnNextModal<CAboutBox>([&](CAboutBox* about) {
        version = about->VersionLabel()->text();
        about->accept();
    });
    frame->OnCommand(ZynCmd::About);
    QCOMPARE(driven->count, 1);
    QCOMPARE(version, QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439"));
    QCOMPARE(frame->StatusPane()->Message(), version);
}

QTEST_MAIN(OptionCommandTests)
#include "OptionCommandTests.moc"

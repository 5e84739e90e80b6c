// Channels between chart windows as a user moves them: the Edit menu's Copy and Paste with the
// texts the menu shows, a channel dropped on a chart view, a file dropped on the main window.

#include "RunningProgram.h"
#include "com/ccombstr.h"
#include "display/WideText.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "exchange/ChannelClipboard.h"
#include "exchange/ChannelMimeData.h"
#include "exchange/CsvImport.h"
#include "resources/ZynMenus.h"
#include "shell/ChartFileDrops.h"
#include "shell/ChartWindowDocument.h"
#include "shell/MainFrame.h"
#include "shell/StatusPane.h"
#include "shell/TallonApp.h"
#include "testing/TempSettingsStore.h"
#include "view/ChartView.h"

#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

class ClipboardCommandTests : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void copyAndPasteThroughTheEditMenu();
    void dropsOnAChartView();
    void chartAndCsvFilesDroppedOnTheMainWindowOpen();

private:
    CChartWindowDocument* ActiveDoc() const {
        return qobject_cast<CChartWindowDocument*>(m_app->MainFrame()->ActiveDocument());
    }
    // The active window with the channel "Disk Time" (two samples), selected in the channel bar.
    CChartWindowDocument* DiskWindow();
    static LONG Channels(CTallonAppDocument* doc) {
        LONG n = -1;
        doc->Chart()->get_ChannelCount(&n);
        return n;
    }
    static bool OnClipboard(QLatin1StringView format) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat(format);
    }
    static bool Drop(QWidget* target, QMimeData* data, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    std::unique_ptr<zyn::test::TempSettingsStore> m_store;
    CTallonApp* m_app = nullptr;
    QStringList m_messages;
};

void ClipboardCommandTests::init() {
    m_store = std::make_unique<zyn::test::TempSettingsStore>();
    m_messages.clear();
    SetZynMessageHook([this](const QString& text, QMessageBox::StandardButtons) {
        m_messages << text;
        return QMessageBox::No;
    });
    QGuiApplication::clipboard()->clear();
    m_app = zyn::test::StartProgram();
    QVERIFY(m_app);
}

void ClipboardCommandTests::cleanup() {
    zyn::test::EndProgram(m_app);
    QGuiApplication::clipboard()->clear();
    SetZynMessageHook(nullptr);
    m_store.reset();
}

CChartWindowDocument* ClipboardCommandTests::DiskWindow() {
    CChartWindowDocument* doc = ActiveDoc();
    if (!doc) return nullptr;
    if (!zyn::csv::ImportText(doc->Chart(), u"Time,Disk Time\n10:00:00,1.5\n10:00:01,2.25\n")) return nullptr;
    CComBSTR id;
    doc->Document()->Channels().at(0)->get_Identifier(&id);
    m_app->MainFrame()->SelectChannel(doc->Document()->Identifier(), FromBstr(id));
    return doc;
}

bool ClipboardCommandTests::Drop(QWidget* target, QMimeData* data, Qt::KeyboardModifiers modifiers) {
    const QPoint at = target->rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), enter.dropAction(), data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void ClipboardCommandTests::copyAndPasteThroughTheEditMenu() {
    CMainFrame* frame = m_app->MainFrame();
    CChartWindowDocument* source = DiskWindow();
    QVERIFY(source);
    frame->UpdateCommands();
    QCOMPARE(frame->Action(ZynCmd::EditCopy)->text(), QStringLiteral("&Copy (Disk Time)\tCtrl+C"));
    QCOMPARE(frame->Action(ZynCmd::EditCut)->text(), QStringLiteral("Cu&t (Disk Time)\tCtrl+X"));
    QVERIFY(frame->Action(ZynCmd::EditCut)->statusTip().contains(u"stays in this chart"));
    QVERIFY(!frame->Action(ZynCmd::EditPaste)->isEnabled());
    frame->Action(ZynCmd::EditCopy)->trigger();
    QCOMPARE(frame->StatusPane()->Message(), QStringLiteral("Disk Time is inserted in to the clipboard."));

    CTallonAppDocument* target = m_app->OnFileNew();
    QVERIFY(target && target != source);
    QCOMPARE(frame->ActiveDocument(), target);
    frame->UpdateCommands();
    QVERIFY(frame->Action(ZynCmd::EditPaste)->isEnabled());
    QCOMPARE(frame->Action(ZynCmd::EditPaste)->text(), QStringLiteral("&Paste (Disk Time)\tCtrl+V"));
    // The selection belongs to the other window: nothing here to copy.
    QVERIFY(!frame->Action(ZynCmd::EditCopy)->isEnabled());
    frame->Action(ZynCmd::EditPaste)->trigger();
    QCOMPARE(Channels(target), 1);
    QCOMPARE(Channels(source), 1);
    QVERIFY(target->IsModified());
    QCOMPARE(frame->StatusPane()->Message(),
             QStringLiteral("Data from the clipboard was successfully pasted."));
    QVERIFY(m_messages.isEmpty());

    // Closing the window the channel came from takes it off the clipboard.
    m_app->CloseDocument(source);
    QTRY_VERIFY(!OnClipboard(zyn::clipboard::kDescriptionFormat));
    frame->UpdateCommands();
    QVERIFY(!frame->Action(ZynCmd::EditPaste)->isEnabled());
    QCOMPARE(frame->Action(ZynCmd::EditPaste)->text(), QStringLiteral("&Paste\tCtrl+V"));
}

void ClipboardCommandTests::dropsOnAChartView() {
    CChartWindowDocument* source = DiskWindow();
    QVERIFY(source);
    std::unique_ptr<zyn::clipboard::CChannelMimeData> channel = zyn::clipboard::MakeChannelData(
        *source->Document(), m_app->MainFrame()->SelectedChannelId(), zyn::clipboard::ChannelAction::Copy);
    QVERIFY(channel);
    auto* target = qobject_cast<CChartWindowDocument*>(m_app->OnFileNew());
    QVERIFY(target && target->ActiveView());
    QWidget* view = target->ActiveView()->viewport();

    QCOMPARE(zyn::clipboard::DropEffect(channel.get(), Qt::ControlModifier), Qt::MoveAction);
    QCOMPARE(zyn::clipboard::DropEffect(channel.get(), Qt::NoModifier), Qt::CopyAction);
    QVERIFY(Drop(view, channel.get(), Qt::ControlModifier));
    QCOMPARE(Channels(target), 1);
    QCOMPARE(Channels(source), 1);

    QMimeData csv;
    csv.setData(zyn::clipboard::kCsvFormat, "Time,Dropped\n10:00:00,5\n10:00:01,6\n");
    QVERIFY(Drop(view, &csv));
    QCOMPARE(Channels(target), 2);
    QCOMPARE(m_app->MainFrame()->StatusPane()->Message(),
             QStringLiteral("External data was successfully imported."));

    QMimeData text;
    text.setText(QStringLiteral("Time,Plain\n10:00:00,5\n10:00:01,6\n"));
    QVERIFY(!Drop(view, &text));
    QCOMPARE(Channels(target), 2);
    QVERIFY(m_messages.isEmpty());
}

void ClipboardCommandTests::chartAndCsvFilesDroppedOnTheMainWindowOpen() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString csvPath = dir.filePath(QStringLiteral("dropped.CSV"));
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("Time,Dropped\n10:00:00,5\n10:00:01,6\n");
    csv.close();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("notes.txt"))),
                   QUrl::fromLocalFile(csvPath), QUrl(QStringLiteral("https://example.org/remote.tlon"))});
    QCOMPARE(DroppedChartFiles(&files), QStringList{csvPath});

    const std::size_t before = m_app->Documents().size();
    QVERIFY(Drop(m_app->MainFrame(), &files));
    QTRY_COMPARE(m_app->Documents().size(), before + 1);
    QCOMPARE(Channels(m_app->Documents().back()), 1);

    QMimeData others;
    others.setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("notes.txt")))});
    QVERIFY(!Drop(m_app->MainFrame(), &others));
}

QTEST_MAIN(ClipboardCommandTests)
#include "ClipboardCommandTests.moc"

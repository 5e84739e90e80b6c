// Not a test: opens the main window with a chart sampling real counters for a few seconds and
// writes a picture of the window, so that a person can look at it.
//   ShellScreenshot OUT.png [seconds]

#include "ChannelBar.h"
#include "MainFrame.h"
#include "TallonApp.h"
#include "TallonAppChartDocument.h"
#include "TallonAppContext.h"
#include "com/ccombstr.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QTreeWidget>

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (argc < 2) return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 8;
    CTallonApp app;
    app.SetDocumentFactory([&app](QObject* parent) { return new CTallonAppChartDocument(&app, parent); });
    TallonCommandLine cmd;
    cmd.noArguments = false;
    int rc = 0;
    if (!app.InitInstance(cmd, rc)) return rc;
    CMainFrame* frame = app.MainFrame();
    frame->resize(1100, 720);
    frame->MdiArea()->activeSubWindow()->showMaximized();
    CTallonAppDocument* doc = frame->ActiveDocument();
    const char16_t* paths[] = {u"\\Processor(_Total)\\% Processor Time", u"\\Memory\\% Committed Bytes In Use",
                               u"\\System\\Processes"};
    const COLORREF colours[] = {0x0000FF, 0x00FF00, 0x00FFFF};
    int n = 0;
    for (const char16_t* p : paths) {
        CComPtr<IZynChannel> c;
        if (SUCCEEDED(doc->Chart()->AddChannel(CComBSTR(p), &c)) && c) c->put_Color(colours[n++]);
    }
    doc->Chart()->put_Rate(250);
    doc->Chart()->put_Run(1);
    frame->ShowStatusMessage(QStringLiteral("Added counter % Processor Time"), 0);
    QTimer::singleShot(seconds * 1000, [&] {
        frame->ChannelBarShowDocument(doc, true);
        if (frame->ChannelBar()->List()->topLevelItemCount()) frame->ChannelBar()->List()->setCurrentItem(frame->ChannelBar()->List()->topLevelItem(0));
        doc->UpdateAllViews(0);
        QTimer::singleShot(300, [&] {
            frame->grab().save(out);
            doc->Chart()->put_Run(0);
            qapp.quit();
        });
    });
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}

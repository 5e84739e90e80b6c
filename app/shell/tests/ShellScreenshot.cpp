// Not a test: opens the main window with a chart sampling real counters for a few seconds and
// writes a picture of the window, so that a person can look at it.
//   ShellScreenshot OUT.png [seconds]

#include "com/ccombstr.h"
#include "document/CTallonChart.h"
#include "shell/ChannelBar.h"
#include "shell/ChartWindowDocument.h"
#include "shell/MainFrame.h"
#include "shell/TallonApp.h"

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
    TallonCommandLine cmd;
    cmd.noArguments = false;
    int rc = 0;
    if (!app.InitInstance(cmd, rc)) return rc;
    CMainFrame* frame = app.MainFrame();
    frame->resize(1100, 720);
    frame->MdiArea()->activeSubWindow()->showMaximized();
    auto* doc = qobject_cast<CChartWindowDocument*>(frame->ActiveDocument());
    if (!doc) return 1;
    // As the counter browser adds them: default colours, the status text of each.
    for (const char* p : {"\\Processor(_Total)\\% Processor Time", "\\Memory\\% Committed Bytes In Use"})
        doc->Document()->AddChannelByPath(QString::fromLatin1(p));
    doc->Chart()->put_Rate(250);
    doc->Chart()->put_Run(1);
    QTimer::singleShot(seconds * 1000, [&] {
        frame->ChannelBarShowDocument(doc, true);
        if (frame->ChannelBar()->List()->topLevelItemCount())
            frame->ChannelBar()->List()->setCurrentItem(frame->ChannelBar()->List()->topLevelItem(0));
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

// Not a test: writes a picture of every page of every sheet, and of the event dialogs and the about
// box, so that a person can look at them (run it on a real display, also with QT_SCALE_FACTOR=2).
//   OptionScreenshots OUTDIR

#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "options/AboutBox.h"
#include "options/ChannelPropertySheet.h"
#include "options/ChartPropertySheet.h"
#include "options/EventDialog.h"
#include "options/FontColourDialog.h"
#include "options/PreferencesSheet.h"

#include "com/ccombstr.h"
#include "com/variant.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>

#include <cmath>

namespace {

void Save(QWidget* w, const QString& dir, const QString& name) {
    w->show();
    w->raise();
    QApplication::processEvents();
    QApplication::processEvents();
    w->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

void SavePages(COptionSheet& sheet, const QString& dir, const QString& prefix) {
    for (int i = 0; i < sheet.PageCount(); ++i) {
        sheet.SetActivePage(i);
        Save(&sheet, dir,
             QStringLiteral("%1-%2-%3").arg(prefix).arg(i).arg(sheet.Tabs()->tabText(i)).replace(u' ', u'_'));
    }
    sheet.hide();
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (argc < 2) return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    CAppContext ctx;
    CTallonChart doc(ctx);
    doc.OnNewDocument();
    const double start = 45000.0 + 9.0 / 24;
    CComVariant startTime(start);
    startTime.vt = VT_DATE;
    startTime.date = start;
    doc.Chart()->put_StartTime(startTime);
    CComPtr<IZynChannel> channel;
    doc.Chart()->AddStaticChannel(&channel);
    for (int s = 0; s <= 600; ++s) {
        LONG n = 0;
        channel->AddValueRelTime(50 + 30 * std::sin(s / 30.0), s * 1000, &n);
    }
    channel->put_Name(CComBSTR(u"Disk busy"));
    channel->put_Units(CComBSTR(u"%"));

    {
        CChartPropertySheet sheet(CChartPropertySheet::Kind::Chart, doc, nullptr);
        SavePages(sheet, dir, QStringLiteral("chart"));
    }
    {
        CChartPropertySheet sheet(CChartPropertySheet::Kind::Report, doc, nullptr);
        SavePages(sheet, dir, QStringLiteral("report"));
    }
    {
        CPreferencesSheet sheet(ctx, {}, nullptr);
        SavePages(sheet, dir, QStringLiteral("prefs"));
    }
    {
        CChannelPropertySheet sheet(ctx, channel, {}, nullptr);
        SavePages(sheet, dir, QStringLiteral("channel"));
    }
    {
        CEventDialog add(CEventDialog::Mode::Add, nullptr);
        add.SetName(QStringLiteral("Event 1"));
        Save(&add, dir, QStringLiteral("event-add"));
        CEventDialog edit(CEventDialog::Mode::Edit, nullptr);
        edit.SetName(QStringLiteral("Backup"));
        edit.SetComment(QStringLiteral("Nightly backup of the build server"));
        edit.SetTimes(start + 0.001, 0.0);
        Save(&edit, dir, QStringLiteral("event-edit"));
    }
    {
        CAboutBox about(CAboutBox::Mode::About, QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439"));
        Save(&about, dir, QStringLiteral("about"));
        CAboutBox splash(CAboutBox::Mode::Splash, QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439"));
        Save(&splash, dir, QStringLiteral("splash"));
        CFontColourDialog font(QFont(QStringLiteral("DejaVu Sans")), QColor(0, 255, 255));
        Save(&font, dir, QStringLiteral("font"));
    }
    return 0;
}

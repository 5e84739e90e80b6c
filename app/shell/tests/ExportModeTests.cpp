// The Tallon program's modes without a window, run as a user runs them: a chart file made here, then
// `Tallon --export-image` and `Tallon --export-csv` on it (and on comma-separated text), and their
// output files checked; `--help`, `--version` and wrong command lines.

#include "com/ccombstr.h"
#include "com/variant.h"
#include "display/ChartFonts.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/ChartFile.h"
#include "report/tests/ReportTestChart.h"
#include "shell/ChartWindowDocument.h"
#include "testing/RunProgram.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynFiles.h"

#include <QFile>
#include <QImage>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

class ExportModeTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void imageExportWritesThePictureAtTheSizeAskedFor();
    void imageExportWithoutSizeUsesTheDefault();
    void csvExportWritesHeaderAndOneLinePerSampleTime();
    void unreadableChartFileFails();
    void exportsReadCommaSeparatedTextToo();
    void helpListsEveryOptionOnStandardOutput();
    void versionPrintsTheVersionText();
    void wrongCommandLinesGetTheUsageAndStatus2();
    void printingWithoutThePrinterSaysWhichFileAndWhy();
    void reportExportWritesTextPdfAndWebPage();
    void reportExportRefusesWhatItCannotWrite();
    void scriptExportWritesTheLanguageOfTheExtension();
    void anotherObjectLibraryCopyIsReplacedAndNamedOnce();

private:
    // Runs Tallon with `args`; its exit code, or -1 when it did not finish.
    int RunTallon(const QStringList& args, QString* errors = nullptr, QString* output = nullptr);

    QTemporaryDir m_dir;
    zyn::test::TempSettingsStore m_store; // shared with the programs this test runs
    QString m_chart;
    QString m_reportChart; // known contents: one channel, one event
    QStringList m_names;
    int m_sampleTimes = 0;
};

namespace {

QString Text(const CComBSTR& b) {
    return QString::fromUtf16(b.View().data(), qsizetype(b.View().size()));
}

// The number of samples of a channel.
LONG SampleCount(IZynChannel* channel) {
    CComPtr<IZynDataSet> data;
    LONG count = 0;
    if (SUCCEEDED(channel->get_Data(&data)) && data) data->get_Count(&count);
    return count;
}

} // namespace

void ExportModeTests::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_chart = m_dir.filePath(QStringLiteral("made.tlon"));
    CAppContext context;
    {
        // Recorded as a user records: two counters sampled by the chart's own thread.
        CTallonChart doc(context);
        QVERIFY(doc.Chart());
        QVERIFY(doc.AddChannelByPath(QStringLiteral("\\Processor(_Total)\\% Processor Time")));
        QVERIFY(doc.AddChannelByPath(QStringLiteral("\\Memory\\% Committed Bytes In Use")));
        const auto channels = doc.Channels();
        QCOMPARE(int(channels.size()), 2);
        doc.Chart()->put_Rate(200);
        doc.Chart()->put_Run(1);
        QTRY_VERIFY_WITH_TIMEOUT(SampleCount(channels[0]) >= 6 && SampleCount(channels[1]) >= 6, 20000);
        doc.Chart()->put_Run(0);
        // What the CSV must hold: a header of the names, one line per distinct sample time.
        m_names.clear();
        QSet<double> times;
        for (const auto& c : channels) {
            CComBSTR name;
            c->get_Name(&name);
            m_names << Text(name);
            CComPtr<IZynDataSet> data;
            QVERIFY(SUCCEEDED(c->get_Data(&data)) && data);
            for (LONG i = 0; i < SampleCount(c); ++i) {
                CComVariant t;
                QVERIFY(SUCCEEDED(data->GetTimeAt(i, &t)));
                times.insert(t.vt == VT_DATE ? t.date : t.dblVal);
            }
        }
        m_sampleTimes = int(times.size());
        QVERIFY(m_sampleTimes >= 6);
        QVERIFY(zyn::shell::SaveChartFile(doc, m_chart));
    }
    context.Close();

    using namespace reporttest;
    Chart c = SmallChart(u"Caf\u00e9 <night>");
    ChartSettings settings;
    FinishChartSettings(settings, false);
    RefreshStoredFonts(settings);
    m_reportChart = m_dir.filePath(QStringLiteral("report.tlon"));
    QVERIFY(ZynSaveFile(m_reportChart.toStdString(),
                        zyn::chartfile::ComposeChartFile(ChartBytes(c), WriteChartSettings(settings))));
}

int ExportModeTests::RunTallon(const QStringList& args, QString* errors, QString* output) {
    // Started by fork and exec rather than QProcess, whose cloned child the thread sanitizer's
    // runtime cannot follow.
    std::vector<std::string> argv{TALLON_EXECUTABLE};
    for (const QString& arg : args)
        argv.push_back(arg.toLocal8Bit().toStdString());
    zyn::test::ProgramOptions options;
    options.environment = {"QT_QPA_PLATFORM=offscreen", "ZYN_REGISTRY_DIR=" + m_store.Path()};
    const zyn::test::ProgramRun run = zyn::test::RunProgram(argv, options);
    if (errors) *errors = QString::fromLocal8Bit(run.err.data(), qsizetype(run.err.size()));
    if (output) *output = QString::fromLocal8Bit(run.out.data(), qsizetype(run.out.size()));
    return run.timedOut ? -1 : run.exitCode;
}

void ExportModeTests::imageExportWritesThePictureAtTheSizeAskedFor() {
    const QString out = m_dir.filePath(QStringLiteral("chart.png"));
    QString errors;
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), m_chart, out, QStringLiteral("--size"),
                        QStringLiteral("640x360")},
                       &errors),
             0);
    // What it wrote, and nothing else of its own (Qt may remark on the environment).
    QCOMPARE(errors.count(QStringLiteral("Tallon:")), 1);
    QVERIFY2(errors.contains(QStringLiteral("Tallon: wrote %1 (640x360 image)\n").arg(out)),
             qPrintable(errors));
    QImage image;
    QVERIFY(image.load(out, "PNG"));
    QCOMPARE(image.size(), QSize(640, 360));
    // A drawn chart: background, grid, text and the channels' colours, not one flat fill.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 4, qPrintable(QString::number(colours.size())));
    // The first channel's default colour (red) is on the plot.
    bool red = false;
    for (int y = 0; y < image.height() && !red; ++y)
        for (int x = 0; x < image.width() && !red; ++x)
            red = image.pixel(x, y) == qRgb(255, 0, 0);
    QVERIFY(red);
}

void ExportModeTests::imageExportWithoutSizeUsesTheDefault() {
    const QString out = m_dir.filePath(QStringLiteral("default.png"));
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), m_chart, out}), 0);
    QImage image;
    QVERIFY(image.load(out, "PNG"));
    QCOMPARE(image.size(), QSize(800, 500));
}

void ExportModeTests::csvExportWritesHeaderAndOneLinePerSampleTime() {
    const QString out = m_dir.filePath(QStringLiteral("chart.csv"));
    QString errors;
    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), m_chart, out}, &errors), 0);
    // Qt may remark on the environment; the program says what it wrote, and that samples a fifth
    // of a second apart share their seconds in the text.
    const QString wrote = QStringLiteral("Tallon: wrote %1 (comma-separated text)").arg(out);
    QVERIFY2(errors.contains(wrote + u'\n'), qPrintable(errors));
    for (const QString& line : errors.split(u'\n'))
        QVERIFY2(!line.startsWith(QStringLiteral("Tallon:")) || line == wrote ||
                     line.contains(QStringLiteral("--csv-ms")),
                 qPrintable(errors));
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    // The header, one line per sample time, and the empty piece after the last line end.
    QCOMPARE(int(lines.size()), m_sampleTimes + 2);
    QVERIFY(lines.last().isEmpty());
    QCOMPARE(QString::fromUtf8(lines[0].trimmed()), QStringLiteral("Time,") + m_names.join(u','));
    for (int i = 1; i <= m_sampleTimes; ++i)
        QCOMPARE(int(lines[i].count(',')), 2);
}

void ExportModeTests::unreadableChartFileFails() {
    const QString bad = m_dir.filePath(QStringLiteral("bad.tlon"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a chart");
    f.close();
    const QString out = m_dir.filePath(QStringLiteral("bad.png"));
    QString errors;
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), bad, out}, &errors), 1);
    QVERIFY(!QFile::exists(out));
    // The file and what is wrong with it.
    QVERIFY2(errors.contains(bad) && errors.contains(QStringLiteral("not a Tallon chart file")),
             qPrintable(errors));
    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), m_dir.filePath(QStringLiteral("missing.tlon")),
                        m_dir.filePath(QStringLiteral("missing.csv"))}),
             1);
}

void ExportModeTests::exportsReadCommaSeparatedTextToo() {
    const QString csv = m_dir.filePath(QStringLiteral("chart.csv"));
    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), m_chart, csv}), 0);
    const QString png = m_dir.filePath(QStringLiteral("from-csv.png"));
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), csv, png, QStringLiteral("--size"),
                        QStringLiteral("300x200")}),
             0);
    QImage image;
    QVERIFY(image.load(png, "PNG"));
    QCOMPARE(image.size(), QSize(300, 200));
    // Read back as a chart window imports it: the same header, and the times of the text (which
    // holds whole seconds, so samples of one second become one line).
    const QString again = m_dir.filePath(QStringLiteral("again.csv"));
    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), csv, again}), 0);
    QFile a(csv), b(again);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QList<QByteArray> first = a.readAll().split('\n'), second = b.readAll().split('\n');
    QCOMPARE(second[0], first[0]);
    QSet<QByteArray> times;
    for (qsizetype i = 1; i < first.size() - 1; ++i)
        times.insert(first[i].split(',')[0]);
    QCOMPARE(second.size(), times.size() + 2);
    for (qsizetype i = 1; i < second.size() - 1; ++i)
        QVERIFY2(times.contains(second[i].split(',')[0]), second[i].constData());

    // Text that is no CSV is refused by name, and nothing is written.
    const QString bad = m_dir.filePath(QStringLiteral("bad.csv"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("just one line\n");
    f.close();
    QString errors;
    const QString out = m_dir.filePath(QStringLiteral("never.png"));
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), bad, out}, &errors), 1);
    QVERIFY2(errors.contains(QStringLiteral("Tallon: %1 cannot be read as comma-separated text").arg(bad)),
             qPrintable(errors));
    QVERIFY(!QFile::exists(out));
}

void ExportModeTests::helpListsEveryOptionOnStandardOutput() {
    for (const QString& spelling : {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("/?")}) {
        QString errors, output;
        // Help wins over whatever else the line holds, and opens nothing.
        QCOMPARE(RunTallon({spelling, QStringLiteral("--export-csv")}, &errors, &output), 0);
        QVERIFY2(output.startsWith(QStringLiteral("Usage: Tallon ")), qPrintable(output));
        for (const char* option :
             {"/p, --print", "/pt, --print-to", "/Embedding, --embedding", "/Automation, --automation",
              "/Unregister, --unregister", "/Unregserver", "--export-image", "--size", "--export-csv",
              "--export-report", "--export-script", "--help", "--version"})
            QVERIFY2(output.contains(QLatin1String(option)), option);
        QVERIFY2(!errors.contains(QStringLiteral("Tallon")), qPrintable(errors));
    }
}

void ExportModeTests::versionPrintsTheVersionText() {
    QString output;
    QCOMPARE(RunTallon({QStringLiteral("--version")}, nullptr, &output), 0);
    QCOMPARE(output, QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439\n"));
}

void ExportModeTests::wrongCommandLinesGetTheUsageAndStatus2() {
    const QStringList wrong[] = {{QStringLiteral("--no-such-option")},
                                 {QStringLiteral("-x"), m_chart},
                                 {QStringLiteral("--export-image"), m_chart},
                                 {QStringLiteral("--export-image"), m_chart, QStringLiteral("a.png"),
                                  QStringLiteral("--size"), QStringLiteral("0x10")},
                                 {QStringLiteral("/p")}};
    for (const QStringList& args : wrong) {
        QString errors, output;
        QCOMPARE(RunTallon(args, &errors, &output), 2);
        QVERIFY2(errors.startsWith(QStringLiteral("Tallon: ")), qPrintable(errors));
        QVERIFY2(errors.contains(QStringLiteral("Usage: Tallon ")), qPrintable(errors));
        QVERIFY2(output.isEmpty(), qPrintable(output));
    }
}

// `Tallon /pt FILE PRINTER` and `/p FILE` without that printer ended with status 1 and not a word.
void ExportModeTests::printingWithoutThePrinterSaysWhichFileAndWhy() {
    QString errors;
    const QString printer = QStringLiteral("No Such Printer 7f3a");
    QCOMPARE(RunTallon({QStringLiteral("/pt"), m_chart, printer}, &errors), 1);
    QVERIFY2(errors.contains(QStringLiteral("Tallon: Cannot print ") + m_chart) &&
                 errors.contains(QStringLiteral("there is no printer named ") + printer),
             qPrintable(errors));
    // The default printer: only a machine without printers can show its failure.
    if (!QPrinterInfo::availablePrinters().isEmpty()) QSKIP("this machine has a printer");
    QCOMPARE(RunTallon({QStringLiteral("/p"), m_chart}, &errors), 1);
    QVERIFY2(errors.contains(m_chart) && errors.contains(QStringLiteral("no printer is set up")),
             qPrintable(errors));
}

void ExportModeTests::reportExportWritesTextPdfAndWebPage() {
    QString errors;
    const QString txt = m_dir.filePath(QStringLiteral("report.txt"));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), m_reportChart, txt}, &errors), 0);
    QCOMPARE(errors.count(QStringLiteral("Tallon:")), 1);
    QVERIFY2(errors.contains(QStringLiteral("Tallon: wrote %1 (report)\n").arg(txt)), qPrintable(errors));
    QFile text(txt);
    QVERIFY(text.open(QIODevice::ReadOnly));
    const QByteArray bytes = text.readAll();
    // The copied text, as UTF-8, every line ended by CR LF.
    QVERIFY(bytes.startsWith("Caf\xc3\xa9 <night>\r\n\tReport was created on\t"));
    QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
    QVERIFY(bytes.endsWith("\tLoad\r\n\t\tCounter Description: How busy\r\n"));
    for (const char* line :
         {"\r\n\tLoad : Load counter\r\n\t\tType of channel\tStatic\r\n", "\t\tNumber of data points\t 5\r\n",
          "\t\tMaximum value\t5.00 % at 12:00:01  03/15/23 (0:01 from start)\r\n",
          "\r\nPeak (1)\r\n\tEvent start time\t12:00:01  03/15/23\r\n",
          "\t\tRate of change\t30.0 %/minute\r\n\r\nCounter Summary\r\n"})
        QVERIFY2(bytes.contains(line), line);

    const QString pdf = m_dir.filePath(QStringLiteral("report.pdf"));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), m_reportChart, pdf}, &errors), 0);
    QFile printed(pdf);
    QVERIFY(printed.open(QIODevice::ReadOnly));
    const QByteArray pdfBytes = printed.readAll();
    QVERIFY(pdfBytes.startsWith("%PDF-"));
    // One page for the chart with its channel, one for the event, one for the summary.
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page\\b(?!s)"));
    QCOMPARE(QString::fromLatin1(pdfBytes).count(page), 3);

    const QString html = m_dir.filePath(QStringLiteral("report.HTML"));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), m_reportChart, html}, &errors), 0);
    QFile web(html);
    QVERIFY(web.open(QIODevice::ReadOnly));
    const QString page2 = QString::fromUtf8(web.readAll());
    QVERIFY(page2.contains(QStringLiteral("<h1>Caf\u00e9 &lt;night&gt;</h1>")));
    QVERIFY(page2.contains(QStringLiteral("<h2>Load : Load counter</h2>")));
    QVERIFY(
        page2.contains(QStringLiteral("<tr><th scope=\"row\">Number of data points</th><td> 5</td></tr>")));
    QVERIFY(page2.contains(QStringLiteral("<h1>Peak (1)</h1>")));
}

void ExportModeTests::reportExportRefusesWhatItCannotWrite() {
    QString errors;
    const QString unknown = m_dir.filePath(QStringLiteral("report.doc"));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), m_reportChart, unknown}, &errors), 1);
    QVERIFY2(errors.contains(unknown), qPrintable(errors));
    QVERIFY(!QFile::exists(unknown));
    const QString nowhere = m_dir.filePath(QStringLiteral("no/such/folder/report.txt"));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), m_reportChart, nowhere}, &errors), 1);
    QVERIFY2(errors.contains(nowhere), qPrintable(errors));
    const QString missing = m_dir.filePath(QStringLiteral("missing.tlon"));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), missing, m_dir.filePath(QStringLiteral("m.txt"))},
                       &errors),
             1);
    QVERIFY2(errors.contains(missing), qPrintable(errors));
    QCOMPARE(RunTallon({QStringLiteral("--export-report"), m_reportChart}, &errors), 2);
}

// Another installation's copy registered in the store: the export registers the program's own copy
// instead, says so once on standard error, and works; the next run has nothing to say.
void ExportModeTests::anotherObjectLibraryCopyIsReplacedAndNamedOnce() {
    const std::string copy =
        zyn::test::RegisterAnotherCopy(m_dir.filePath(QStringLiteral("other")).toStdString());
    QVERIFY(!copy.empty());
    const QString out = m_dir.filePath(QStringLiteral("copy.csv"));
    QString errors;
    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), m_chart, out}, &errors), 0);
    const QString notice = QStringLiteral("Tallon: the settings store named ") + QString::fromStdString(copy);
    QCOMPARE(errors.count(notice), 1);
    QVERIFY(QFile::exists(out));
    const std::string own = zyn::com::OwnServerLibrary(ZYNTALLONOBJLib_TypeLib());
    QVERIFY(std::filesystem::equivalent(zyn::test::RegisteredObjectLibrary(), own));

    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), m_chart, out}, &errors), 0);
    QVERIFY2(!errors.contains(QStringLiteral("settings store")), qPrintable(errors));
}

void ExportModeTests::scriptExportWritesTheLanguageOfTheExtension() {
    const QString cpu = QStringLiteral("\\Processor(_Total)\\% Processor Time");
    for (const QString& name : {QStringLiteral("chart.js"), QStringLiteral("chart.VBS")}) {
        const bool js = name.endsWith(u".js");
        const QString out = m_dir.filePath(name);
        QString errors;
        QCOMPARE(RunTallon({QStringLiteral("--export-script"), m_chart, out}, &errors), 0);
        QVERIFY2(errors.contains(
                     QStringLiteral("Tallon: wrote %1 (%2)\n").arg(out, js ? u"JScript" : u"VBScript")),
                 qPrintable(errors));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString script = QString::fromUtf8(f.readAll());
        QVERIFY(script.contains(u"auto-generated by Zynthar Tallon(tm) on: "));
        // The chart's two channels; the backslashes of a path doubled in JScript only.
        const QString path = js ? QString(cpu).replace(QStringLiteral("\\"), QStringLiteral("\\\\")) : cpu;
        QVERIFY2(script.contains(QStringLiteral("zynChannel = zynChart.AddChannel(\"%1\")").arg(path)),
                 qPrintable(script));
        QVERIFY(script.contains(js ? u"AddChannel(\"\\\\Memory\\\\" : u"AddChannel(\"\\Memory\\"));
        // A chart read from a file does not sample.
        QVERIFY(script.contains(js ? u"\r\n\tzynChart.Run = false;\r\n" : u"\r\n\tzynChart.Run = False\r\n"));
        QVERIFY(!script.contains(u"##"));
    }
    // Other extensions are a wrong command line; the chart itself is never overwritten.
    QString errors;
    const QString txt = m_dir.filePath(QStringLiteral("chart.txt"));
    QCOMPARE(RunTallon({QStringLiteral("--export-script"), m_chart, txt}, &errors), 2);
    QVERIFY(!QFile::exists(txt));
    QVERIFY2(errors.contains(u"OUT.js (JScript) or OUT.vbs (VBScript)"), qPrintable(errors));
    const QString js = m_dir.filePath(QStringLiteral("chart.js"));
    QCOMPARE(RunTallon({QStringLiteral("--export-script"), js, js}, &errors), 1);
    QVERIFY2(errors.contains(u"are the same file"), qPrintable(errors));
}

QTEST_MAIN(ExportModeTests)
#include "ExportModeTests.moc"

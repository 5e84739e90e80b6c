// The Tallon program's headless modes, run as a user runs them: a chart file made here, then
// `Tallon --export-image` and `Tallon --export-csv` on it, and their output files checked.

#include "com/ccombstr.h"
#include "com/variant.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "shell/ChartWindowDocument.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"

#include <QFile>
#include <QImage>
#include <QProcess>
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
    void anotherObjectLibraryCopyIsReplacedAndNamedOnce();

private:
    // Runs Tallon with `args`; its exit code, or -1 when it did not finish.
    int RunTallon(const QStringList& args, QString* errors = nullptr);

    QTemporaryDir m_dir;
    zyn::test::TempSettingsStore m_store; // shared with the programs this test runs
    QString m_chart;
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
}

int ExportModeTests::RunTallon(const QStringList& args, QString* errors) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ZYN_REGISTRY_DIR"), QString::fromStdString(m_store.Path()));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TALLON_EXECUTABLE), args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (errors) *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void ExportModeTests::imageExportWritesThePictureAtTheSizeAskedFor() {
    const QString out = m_dir.filePath(QStringLiteral("chart.png"));
    QString errors;
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), m_chart, out, QStringLiteral("--size"),
                        QStringLiteral("640x360")},
                       &errors),
             0);
    QVERIFY2(!errors.contains(QStringLiteral("Tallon:")),
             qPrintable(errors)); // Qt may remark on the environment
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
    QVERIFY2(!errors.contains(QStringLiteral("Tallon:")),
             qPrintable(errors)); // Qt may remark on the environment
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
    QCOMPARE(RunTallon({QStringLiteral("--export-image"), bad, out}), 1);
    QVERIFY(!QFile::exists(out));
    QCOMPARE(RunTallon({QStringLiteral("--export-csv"), m_dir.filePath(QStringLiteral("missing.tlon")),
                        m_dir.filePath(QStringLiteral("missing.csv"))}),
             1);
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

QTEST_MAIN(ExportModeTests)
#include "ExportModeTests.moc"

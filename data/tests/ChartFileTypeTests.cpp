// The installed file type of chart files, compiled by the desktop's own tool into a database of its
// own and asked as a file manager asks: by name, and by content when the name says nothing.

#include "testing/RunProgram.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QtTest>

class ChartFileTypeTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void chartFilesAreKnownByName();
    void chartFilesAreKnownByTheirFirstBytes();
    void otherBytesAreNotChartFiles();

private:
    QString Write(const QString& name, const QByteArray& bytes);
    QTemporaryDir m_dir;
};

namespace {
constexpr char kChartType[] = "application/x-tallon-chart";

// The start of a chart file: version 3, little-endian, then its signature, then a chart length.
QByteArray ChartStart(char version = 3) {
    return QByteArray("\0\0\0\0Zyn \4\0\0\0abcd", 16).replace(0, 1, QByteArray(1, version));
}
} // namespace

void ChartFileTypeTests::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString packages = m_dir.filePath(QStringLiteral("mime/packages"));
    QVERIFY(QDir().mkpath(packages));
    QVERIFY(QFile::copy(QStringLiteral(MIME_XML), packages + QStringLiteral("/org.zynthar.Tallon.xml")));
    // Before the first use of the database: ours beside the system's.
    const QByteArray dataDirs = (m_dir.path() + QStringLiteral(":/usr/share")).toLocal8Bit();
    qputenv("XDG_DATA_DIRS", dataDirs);
    // Started by fork and exec rather than QProcess, whose cloned child the thread sanitizer's
    // runtime cannot follow.
    const zyn::test::ProgramRun update =
        zyn::test::RunProgram({UPDATE_MIME_DATABASE, m_dir.filePath(QStringLiteral("mime")).toStdString()});
    QVERIFY2(update.exitCode == 0 && update.err.empty(), update.Describe().c_str());
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("files"))));
}

QString ChartFileTypeTests::Write(const QString& name, const QByteArray& bytes) {
    QString path = m_dir.filePath(QStringLiteral("files/") + name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return {};
    return path;
}

void ChartFileTypeTests::chartFilesAreKnownByName() {
    QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(QStringLiteral("week.tlon"), QMimeDatabase::MatchExtension);
    QCOMPARE(type.name(), QLatin1String(kChartType));
    QCOMPARE(type.iconName(), QStringLiteral("application-x-tallon-chart"));
    QCOMPARE(type.comment(), QStringLiteral("Tallon chart"));
}

void ChartFileTypeTests::chartFilesAreKnownByTheirFirstBytes() {
    QMimeDatabase db;
    const QString renamed = Write(QStringLiteral("recorded-yesterday"), ChartStart());
    QCOMPARE(db.mimeTypeForFile(renamed).name(), QLatin1String(kChartType));
}

void ChartFileTypeTests::otherBytesAreNotChartFiles() {
    QMimeDatabase db;
    // Another version with the signature, and the signature at the wrong place.
    QVERIFY(db.mimeTypeForFile(Write(QStringLiteral("v4"), ChartStart(4))).name() !=
            QLatin1String(kChartType));
    QVERIFY(
        db.mimeTypeForFile(Write(QStringLiteral("shifted"), QByteArray("\3\0\0\0\0Zyn \0\0\0", 12))).name() !=
        QLatin1String(kChartType));
}

QTEST_MAIN(ChartFileTypeTests)
#include "ChartFileTypeTests.moc"

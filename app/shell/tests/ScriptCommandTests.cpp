// Save as Script and Save All as Script as a user runs them from the File menu: the "Save Script
// As" dialog, the extension rule, Cancel, the remembered filter, and the files they write.

#include "RunningProgram.h"
#include "com/ccombstr.h"
#include "display/WideText.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "resources/ZynMenus.h"
#include "shell/ChartWindowDocument.h"
#include "shell/MainFrame.h"
#include "shell/StatusPane.h"
#include "shell/TallonApp.h"
#include "testing/TempSettingsStore.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class ScriptCommandTests : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void saveChartAsScriptAsksAgainUntilTheExtensionIsJsOrVbs();
    void cancelWritesNothing();
    void saveAllWritesEveryChartAndTheFilterIsRemembered();

private:
    // What the user does in each file dialog that opens, in turn.
    struct Answer {
        QString file;    // typed into the name field and saved; empty: Cancel
        int filter = -1; // the filter chosen first (-1: as offered)
    };
    // Answers the dialogs of one command; records each dialog's title, filter labels and the
    // filter it offered first.
    void Run(int command, QList<Answer> answers);
    QString Read(const QString& name) const {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    std::unique_ptr<zyn::test::TempSettingsStore> m_store;
    QTemporaryDir m_dir;
    CTallonApp* m_app = nullptr;
    QStringList m_messages;
    QStringList m_titles;
    QList<QStringList> m_filterLabels;
    QList<int> m_offeredFilters;
};

void ScriptCommandTests::init() {
    m_store = std::make_unique<zyn::test::TempSettingsStore>();
    m_messages.clear();
    m_titles.clear();
    m_filterLabels.clear();
    m_offeredFilters.clear();
    SetZynMessageHook([this](const QString& text, QMessageBox::StandardButtons) {
        m_messages << text;
        return QMessageBox::Ok;
    });
    m_app = zyn::test::StartProgram();
    QVERIFY(m_app);
}

void ScriptCommandTests::cleanup() {
    zyn::test::EndProgram(m_app);
    SetZynMessageHook(nullptr);
    m_store.reset();
}

void ScriptCommandTests::Run(int command, QList<Answer> answers) {
    QTimer driver;
    driver.setInterval(20);
    QElapsedTimer waiting;
    waiting.start();
    QString stuck;
    connect(&driver, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        // Something else waits for a user: say what, and let it go rather than hang.
        if (!answers.isEmpty() && waiting.elapsed() > 20000) {
            stuck = modal
                        ? QString::fromLatin1(modal->metaObject()->className()) + u' ' + modal->windowTitle()
                        : QStringLiteral("no dialog");
            answers.clear();
            if (modal) modal->close();
            return;
        }
        if (!dialog || answers.isEmpty()) return;
        waiting.restart();
        const Answer answer = answers.takeFirst();
        m_titles << dialog->windowTitle();
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QStringList labels;
        for (int i = 0; types && i < types->count(); ++i)
            labels << types->itemText(i);
        m_filterLabels << labels;
        m_offeredFilters << (types ? types->currentIndex() : -1);
        if (answer.file.isEmpty()) {
            dialog->reject();
            return;
        }
        if (types && answer.filter >= 0) types->setCurrentIndex(answer.filter);
        // Typed as a user types it: the whole path into the name field.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name)
            name->setText(m_dir.filePath(answer.file));
        else
            dialog->selectFile(m_dir.filePath(answer.file));
        static_cast<QDialog*>(dialog)->accept();
    });
    driver.start();
    m_app->MainFrame()->UpdateCommands();
    QAction* action = m_app->MainFrame()->Action(command);
    QVERIFY(action && action->isEnabled());
    action->trigger();
    QVERIFY2(stuck.isEmpty(), qPrintable(stuck));
    QVERIFY2(answers.isEmpty(), "a dialog that should have opened did not");
}

void ScriptCommandTests::saveChartAsScriptAsksAgainUntilTheExtensionIsJsOrVbs() {
    auto* doc = qobject_cast<CChartWindowDocument*>(m_app->MainFrame()->ActiveDocument());
    QVERIFY(doc);
    doc->Chart()->put_Name(ToBstr(QStringLiteral("Disk \"C\"")));
    QVERIFY(doc->Document()->AddChannelByPath(QStringLiteral("\\Processor(_Total)\\% Processor Time")));
    Run(ZynCmd::SaveAsScript,
        {{QStringLiteral("chart.txt")}, {QStringLiteral("chart")}, {QStringLiteral("chart.JS")}});

    QCOMPARE(m_titles, QStringList(3, QStringLiteral("Save Script As")));
    QCOMPARE(m_filterLabels.value(0),
             (QStringList{QStringLiteral("JScript (*.js)"), QStringLiteral("VBScript(*.vbs)"),
                          QStringLiteral("Script Files (*.js;*.vbs)"), QStringLiteral("All Files (*.*)")}));
    QCOMPARE(m_messages,
             QStringList(2, QStringLiteral("Select either a .js or .vbs extension for the script.")));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("chart.txt"))));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("chart"))));
    const QString script = Read(QStringLiteral("chart.JS"));
    QVERIFY2(script.startsWith(u"//="), qPrintable(script));
    QVERIFY(script.contains(u"\r\n\tzynChart.Name = \"Disk \\\"C\\\"\";\r\n"));
    QVERIFY(script.contains(u"zynChart.AddChannel(\"\\\\Processor(_Total)\\\\% Processor Time\");"));
    QVERIFY(script.contains(u"SecondsToRun = 20;"));
    QCOMPARE(m_app->MainFrame()->StatusPane()->Message(),
             QStringLiteral("Saved the script %1").arg(m_dir.filePath(QStringLiteral("chart.JS"))));
}

void ScriptCommandTests::cancelWritesNothing() {
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
    Run(ZynCmd::SaveAsScript, {{QString()}});
    Run(ZynCmd::SaveAllAsScript, {{QString()}});
    QCOMPARE(m_titles.size(), 2);
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
}

void ScriptCommandTests::saveAllWritesEveryChartAndTheFilterIsRemembered() {
    QVERIFY(m_app->OnFileNew());
    QCOMPARE(int(m_app->Documents().size()), 2);
    QStringList names;
    for (CTallonAppDocument* doc : m_app->Documents()) {
        CComBSTR name;
        doc->Chart()->get_Name(&name);
        names << FromBstr(name);
    }
    Run(ZynCmd::SaveAllAsScript, {{QStringLiteral("all.vbs"), 1}});
    const QString script = Read(QStringLiteral("all.vbs"));
    QVERIFY2(script.startsWith(u"'="), qPrintable(script));
    QVERIFY(script.contains(u"\r\nDim zynCharts(2)\r\n"));
    QVERIFY(script.contains(u"SecondsToRun = 30"));
    for (int k = 0; k < 2; ++k) {
        QString function = QStringLiteral("Add_") + names[k];
        function.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")), QStringLiteral("_"));
        QVERIFY2(script.contains(QStringLiteral("Set zynCharts(%1) = %2(zynApp)").arg(k).arg(function)),
                 qPrintable(function));
        QVERIFY(script.contains(QStringLiteral("\r\nfunction %1(zynApp)\r\n").arg(function)));
    }
    // The next dialog offers the filter chosen last.
    Run(ZynCmd::SaveAsScript, {{QString()}});
    QCOMPARE(m_offeredFilters.value(1), 1);
}

QTEST_MAIN(ScriptCommandTests)
#include "ScriptCommandTests.moc"

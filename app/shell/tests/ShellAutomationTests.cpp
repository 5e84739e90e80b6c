// The program the user started, as an automation server: closing it while a client holds objects
// of it closes its windows and leaves it serving that client out of sight; closing it with no
// client ends it. Runs on a private bus (dbus-run-session), offscreen.

#include "automation/CAutomationServer.h"
#include "document/ZynMessageBox.h"
#include "shell/MainFrame.h"
#include "shell/TallonApp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTemporaryDir>
#include <QtTest>

class ShellAutomationTests : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void closingWithAClientHandsTheProgramOver();
    void closingWithoutClientsEnds();

private:
    QTemporaryDir* m_dir = nullptr;
    CTallonApp* m_app = nullptr;
};

void ShellAutomationTests::init() {
    m_dir = new QTemporaryDir;
    qputenv("ZYN_REGISTRY_DIR", m_dir->filePath(QStringLiteral("reg")).toUtf8());
    SetZynMessageHook([](const QString&, QMessageBox::StandardButtons) { return QMessageBox::No; });
    m_app = new CTallonApp;
    TallonCommandLine cmd;
    cmd.noArguments = false;
    int rc = 0;
    QVERIFY(m_app->InitInstance(cmd, rc));
    QVERIFY(m_app->AutomationServer());
    QVERIFY(m_app->AutomationServer()->UserControl());
}

void ShellAutomationTests::cleanup() {
    m_app->ExitInstance();
    delete m_app;
    m_app = nullptr;
    SetZynMessageHook(nullptr);
    delete m_dir;
}

void ShellAutomationTests::closingWithAClientHandsTheProgramOver() {
    // A client of its own connection calls the application object, and so holds it.
    {
        QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("com.zynthar.Tallon"), QStringLiteral("/com/zynthar/Tallon/Application"),
            QStringLiteral("com.zynthar.Tallon.ICoApp"), QStringLiteral("Describe"));
        QDBusPendingCall pending = client.asyncCall(call);
        QTRY_VERIFY(pending.isFinished());
        QVERIFY(!pending.isError());
    }
    QVERIFY(m_app->AutomationServer()->HasClients());

    CMainFrame* frame = m_app->MainFrame();
    QCOMPARE(m_app->Documents().size(), 1u);
    QVERIFY(!frame->close());
    QVERIFY(frame->isHidden());
    QVERIFY(m_app->Documents().empty());
    QVERIFY(!m_app->AutomationServer()->UserControl());

    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QTRY_VERIFY(!m_app->AutomationServer()->HasClients());
}

void ShellAutomationTests::closingWithoutClientsEnds() {
    QVERIFY(!m_app->AutomationServer()->HasClients());
    QVERIFY(m_app->MainFrame()->close());
    QVERIFY(m_app->AutomationServer()->UserControl());
}

QTEST_MAIN(ShellAutomationTests)
#include "ShellAutomationTests.moc"

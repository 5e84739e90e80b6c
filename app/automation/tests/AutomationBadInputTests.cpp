// The running program against malformed calls: every member of every kind of object it exports
// gets wrong argument counts, wrong types, forged object paths, unknown flags, huge values and
// deep nesting, by name and by dispatch id. Each call must come back as an error, quickly, and the
// program must serve as before. Runs on a private bus (dbus-run-session), the program offscreen.

#include "remoting/AutomationProtocol.h"
#include "remoting/RemoteError.h"
#include "remoting/TypeDescription.h"
#include "remoting/VariantWire.h"

#include "com/typeinfo.h"
#include "testing/RunProgram.h"
#include "testing/SpawnSelf.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#ifndef TALLON_EXECUTABLE
#error "the build names the program"
#endif

namespace {

using zyn::remoting::CTypeDescription;

const QString kName = QStringLiteral("com.zynthar.Tallon");
const QString kApp = QStringLiteral("/com/zynthar/Tallon/Application");
const QString kTyped = QStringLiteral("com.zynthar.Tallon.");

// The longest a malformed call may take to be refused: the program never waits on a caller.
constexpr qint64 kQuickMs = 10000;

class BadInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The program shares the binary's settings store (ZYN_REGISTRY_DIR) and its platform. It is
        // started by a plain spawn: the thread sanitizer cannot follow the raw clone QProcess uses.
        const auto registered = zyn::test::RunProgram({TALLON_EXECUTABLE, "/Register"});
        ASSERT_EQ(registered.exitCode, 0) << registered.Describe();
        s_program = zyn::test::Spawn({TALLON_EXECUTABLE, "/Automation"});
        ASSERT_GT(s_program, 0);
        QElapsedTimer t;
        t.start();
        while (!Bus().interface()->isServiceRegistered(kName) && t.elapsed() < 30000)
            QThread::msleep(20);
        ASSERT_TRUE(Bus().interface()->isServiceRegistered(kName));
    }
    static void TearDownTestSuite() {
        if (s_program <= 0) return;
        ::kill(s_program, SIGKILL);
        zyn::test::Reap(s_program);
    }

    static QDBusConnection Bus() { return QDBusConnection::sessionBus(); }

    // `quickMs` bounds the round trip; moving tens of megabytes through both ends of the bus takes
    // its own while on a loaded machine.
    static QDBusMessage Call(const QString& path, const QString& iface, const QString& member,
                             const QVariantList& args = {}, qint64 quickMs = kQuickMs) {
        QDBusMessage m = QDBusMessage::createMethodCall(kName, path, iface, member);
        m.setArguments(args);
        QElapsedTimer t;
        t.start();
        const QDBusMessage reply = Bus().call(m, QDBus::Block, 120000);
        EXPECT_LT(t.elapsed(), quickMs) << member.toStdString() << " on " << path.toStdString();
        return reply;
    }

    static QString PathOf(const QDBusMessage& reply) {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusObjectPath>().path();
    }

    static std::shared_ptr<const CTypeDescription> TypeOf(const QString& path) {
        return CTypeDescription::FromWire(
            Call(path, zyn::remoting::kDispatchInterface, QStringLiteral("GetTypeInfo")).arguments());
    }

    // The program still answers, and with the right thing.
    static void ExpectServing() {
        const QDBusMessage reply = Call(kApp, kTyped + "ICoApp", QStringLiteral("Describe"));
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.arguments().value(0).toString(),
                  QStringLiteral("Zynthar Tallon. Version 2.4  Build#1439"));
        int status = 0;
        EXPECT_EQ(::waitpid(s_program, &status, WNOHANG), 0) << "the program has ended";
    }

    static pid_t s_program;
};

pid_t BadInput::s_program = -1;

// A value of a D-Bus type that is not `signature`'s (and does not convert to it).
QVariant WrongValueFor(const QString& signature) {
    if (signature == u"s") return 42;
    return QStringLiteral("not a number");
}

QVariant Forged() {
    return QVariant::fromValue(QDBusObjectPath(QStringLiteral("/com/zynthar/Tallon/IZynChart/987654321")));
}

void ExpectRefused(const QDBusMessage& reply, const std::string& what) {
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << what;
    EXPECT_FALSE(reply.errorMessage().isEmpty()) << what;
    EXPECT_TRUE(FAILED(zyn::remoting::ReadErrorReply(reply).hr)) << what;
}

TEST_F(BadInput, EveryMemberOfEveryObjectRefusesMalformedCalls) {
    // One object of each kind the program hands out, held by this connection.
    const QString chart = PathOf(Call(kApp, kTyped + "ICoApp", QStringLiteral("AddChart")));
    const QString chartIface = kTyped + "IZynChart";
    const QString id = Call(chart, zyn::remoting::kPropertiesInterface, QStringLiteral("Get"),
                            {chartIface, QStringLiteral("Identifier")})
                           .arguments()
                           .value(0)
                           .value<QDBusVariant>()
                           .variant()
                           .toString();
    const QString window = PathOf(Call(kApp, kTyped + "ICoApp", QStringLiteral("FindChartWindow"), {id}));
    const QString channel = PathOf(Call(chart, chartIface, QStringLiteral("AddStaticChannel")));
    const QString event = PathOf(Call(chart, chartIface, QStringLiteral("AddEvent"), {QStringLiteral("E")}));
    auto objectProperty = [](const QString& path, const QString& iface, const QString& name) {
        const QDBusMessage reply =
            Call(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Get"), {iface, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    };
    const QString data = objectProperty(channel, kTyped + "IZynChannel", QStringLiteral("Data"));
    const QString channels = objectProperty(chart, chartIface, QStringLiteral("Channels"));
    const QString charts = objectProperty(kApp, kTyped + "ICoApp", QStringLiteral("Charts"));
    const QStringList objects = {kApp, window, chart, channel, event, data, channels, charts};
    for (const QString& path : objects)
        ASSERT_FALSE(path.isEmpty());

    int calls = 0;
    for (const QString& path : objects) {
        const auto type = TypeOf(path);
        ASSERT_TRUE(type) << path.toStdString();
        const QString iface = kTyped + type->Name();
        for (const zyn::remoting::WireMember& m : type->Members()) {
            SCOPED_TRACE((type->Name() + u'.' + m.name).toStdString());
            QStringList in;
            for (const zyn::remoting::WireParam& p : m.params)
                if (!(p.flags & zyn::com::kParamRetval)) in << zyn::remoting::SignatureOf(p.vt);

            // By dispatch id: one argument too many, forged objects for every argument, unknown flags.
            QVariantList tooMany;
            for (qsizetype i = 0; i <= in.size(); ++i)
                tooMany << QVariant::fromValue(QDBusVariant(1));
            const int flags = m.kind == quint8(zyn::com::MemberKind::PropPut)   ? DISPATCH_PROPERTYPUT
                              : m.kind == quint8(zyn::com::MemberKind::PropGet) ? DISPATCH_PROPERTYGET
                                                                                : DISPATCH_METHOD;
            ExpectRefused(Call(path, zyn::remoting::kDispatchInterface, QStringLiteral("Invoke"),
                               {m.id, flags, tooMany}),
                          "too many arguments");
            if (!in.isEmpty()) {
                QVariantList forged;
                for (qsizetype i = 0; i < in.size(); ++i)
                    forged << QVariant::fromValue(QDBusVariant(Forged()));
                ExpectRefused(Call(path, zyn::remoting::kDispatchInterface, QStringLiteral("Invoke"),
                                   {m.id, flags, forged}),
                              "forged object paths");
            }
            ExpectRefused(Call(path, zyn::remoting::kDispatchInterface, QStringLiteral("Invoke"),
                               {m.id, 0x40, QVariantList{}}),
                          "unknown flags");
            calls += 3;

            // By name: the typed method with a wrong count and wrong types; the property with a
            // wrong type.
            if (m.kind == quint8(zyn::com::MemberKind::Func)) {
                QVariantList extra;
                for (const QString& sig : in)
                    extra << WrongValueFor(sig == u"s" ? QStringLiteral("i") : QStringLiteral("s"));
                extra << QStringLiteral("extra");
                ExpectRefused(Call(path, iface, m.name, extra), "one argument too many");
                if (!in.isEmpty()) {
                    QVariantList wrong;
                    for (const QString& sig : in)
                        wrong << WrongValueFor(sig);
                    ExpectRefused(Call(path, iface, m.name, wrong), "wrong types");
                    calls += 1;
                }
                calls += 1;
            } else if (m.kind == quint8(zyn::com::MemberKind::PropPut)) {
                ExpectRefused(
                    Call(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Set"),
                         {iface, m.name, QVariant::fromValue(QDBusVariant(WrongValueFor(in.value(0))))}),
                    "a value of the wrong type");
                ExpectRefused(
                    Call(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Set"),
                         {QStringLiteral("org.example.Other"), m.name, QVariant::fromValue(QDBusVariant(1))}),
                    "another interface's property");
                calls += 2;
            }
        }
        // Standard interfaces with wrong signatures.
        ExpectRefused(Call(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Get"), {iface}),
                      "Get without a name");
        ExpectRefused(Call(path, zyn::remoting::kDispatchInterface, QStringLiteral("Release"), {-1}),
                      "Release of an int");
        ExpectRefused(Call(path, zyn::remoting::kDispatchInterface, QStringLiteral("Invoke"), {1, 1}),
                      "Invoke cut short");
        calls += 3;
    }
    EXPECT_GT(calls, 100);
    ExpectServing();
}

TEST_F(BadInput, HugeAndDeepValuesAreRefusedBeforeTheyAreUsed) {
    const QString iface = kTyped + "ICoApp";
    ExpectRefused(
        Call(kApp, iface, QStringLiteral("FileOpen"), {QString(qsizetype(20) * 1024 * 1024, u'a')}, 60000),
        "a huge path");
    // As large as the bus carries: read as the chart it is not, and let go.
    const QDBusMessage bytes =
        Call(kApp, iface, QStringLiteral("LoadChart"),
             {QVariant::fromValue(QDBusVariant(QByteArray(qsizetype(60) * 1024 * 1024, 'x')))}, 60000);
    EXPECT_EQ(PathOf(bytes), QStringLiteral("/")) << "no chart from garbage";
    QVariantList deep = {1};
    for (int i = 0; i < 18; ++i)
        deep = {QVariant::fromValue(QDBusVariant(QVariant::fromValue(deep)))};
    ExpectRefused(Call(kApp, zyn::remoting::kDispatchInterface, QStringLiteral("Invoke"), {8, 1, deep}),
                  "values nested too deeply");
    ExpectRefused(Call(kApp, zyn::remoting::kDispatchInterface, QStringLiteral("Invoke"),
                       {8, 1, QVariantList(65, QVariant::fromValue(QDBusVariant(1)))}),
                  "too many arguments for anyone");
    ExpectRefused(Call(QStringLiteral("/com/zynthar/Tallon/IZynChart/1x"), kTyped + "IZynChart",
                       QStringLiteral("Clear")),
                  "a path that was never handed out");
    ExpectServing();
}

TEST_F(BadInput, AnObjectGivenBackIsGoneForItsHolder) {
    const QString chart = PathOf(Call(kApp, kTyped + "ICoApp", QStringLiteral("AddChart")));
    EXPECT_EQ(Call(chart, zyn::remoting::kDispatchInterface, QStringLiteral("Release"), {1u}).type(),
              QDBusMessage::ReplyMessage);
    const QDBusMessage after = Call(chart, kTyped + "IZynChart", QStringLiteral("Clear"));
    ExpectRefused(after, "a call after the release");
    EXPECT_EQ(after.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    ExpectServing();
}

} // namespace

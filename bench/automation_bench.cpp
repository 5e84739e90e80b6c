// The cost of automation across the session bus: reading chart.Rate from a script (zynscript's
// host) on a chart of a running Tallon, against the floor of any D-Bus call, a bare QtDBus method
// call to a trivial object on the same bus; then calls per second from one client, and from two
// clients at once. Every figure is the min and median of five runs. Runs on a private bus of its
// own (it starts one when none is given) with the program offscreen and a settings store of its
// own.
//   automation_bench [CALLS]

#include "zynscript/scripthost.h"

#include "com/classregistry.h"
#include "objlib/ZynInterfaces.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJSEngine>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#ifndef TALLON_EXECUTABLE
#error "the build names the program"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
const QString kTrivialName = QStringLiteral("com.zynthar.BenchTrivial");

// The floor: a method that only returns a number, exported by QtDBus itself.
class Trivial : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zynthar.BenchTrivial")
public slots:
    int Rate() const { return 1000; }
};

struct Stats {
    double min = 0, median = 0;
};

Stats Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2]};
}

template <class F> Stats MicrosPerCall(long calls, F&& f) {
    std::vector<double> runs;
    for (int r = 0; r < kRuns; ++r) {
        const auto t0 = Clock::now();
        f(calls);
        runs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / double(calls));
    }
    return Summarise(runs);
}

bool WaitForName(const QString& name, int ms) {
    QElapsedTimer t;
    t.start();
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(name)) {
        if (t.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

int ServeTrivial() {
    Trivial object;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/Trivial"), &object, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(kTrivialName))
        return 1;
    return QCoreApplication::exec();
}

// A script host with the application object of the running program and one chart of it.
class ScriptClient {
public:
    ScriptClient() {
        m_ok = m_host.RunSource(
                   QStringLiteral(
                       "var app = WScript.CreateObject('Tallon.Application'); var chart = app.AddChart();\n"
                       "function rates(n) { var s = 0; for (var i = 0; i < n; ++i) s += chart.Rate; return "
                       "s; }\n"),
                   QStringLiteral("automation_bench.js"), {}) == 0;
    }
    bool Ok() const { return m_ok; }
    double Rates(long n) { return m_host.Engine().evaluate(QStringLiteral("rates(%1)").arg(n)).toNumber(); }

private:
    zyn::script::CScriptHost m_host;
    bool m_ok = false;
};

// Runs as one of the concurrent clients: says "ready", waits for a line on standard input, reads
// chart.Rate `calls` times and prints the seconds it took.
int ServeAsClient(long calls) {
    ScriptClient client;
    if (!client.Ok()) return 1;
    client.Rates(100);
    std::printf("ready\n");
    std::fflush(stdout);
    char line[8];
    if (!std::fgets(line, sizeof line, stdin)) return 1;
    const auto t0 = Clock::now();
    const double sum = client.Rates(calls);
    std::printf("%.6f %g\n", std::chrono::duration<double>(Clock::now() - t0).count(), sum);
    std::fflush(stdout);
    return sum == 1000.0 * double(calls) ? 0 : 1;
}

// Calls per second of `count` clients reading at once, each `calls` times.
std::vector<double> ConcurrentRates(const QString& self, int count, long calls) {
    std::vector<double> perSecond;
    for (int r = 0; r < kRuns; ++r) {
        std::vector<std::unique_ptr<QProcess>> clients;
        for (int i = 0; i < count; ++i) {
            auto p = std::make_unique<QProcess>();
            p->start(self, {QStringLiteral("--client"), QString::number(calls)});
            p->waitForReadyRead(60000);
            p->readLine();
            clients.push_back(std::move(p));
        }
        const auto t0 = Clock::now();
        for (auto& p : clients)
            p->write("go\n");
        for (auto& p : clients)
            p->waitForFinished(600000);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        perSecond.push_back(double(calls) * count / seconds);
    }
    return perSecond;
}

int RunBenchmark(const QString& self, long calls) {
    QTemporaryDir store;
    qputenv("ZYN_REGISTRY_DIR", store.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (QProcess::execute(QStringLiteral(TALLON_EXECUTABLE), {QStringLiteral("/Register")}) != 0) return 1;
    (void)zyn::com::UseOwnServerLibrary(ZYNTALLONOBJLib_TypeLib());

    QProcess trivial;
    trivial.start(self, {QStringLiteral("--trivial-server")});
    if (!WaitForName(kTrivialName, 30000)) return 1;
    const QDBusMessage call = QDBusMessage::createMethodCall(kTrivialName, QStringLiteral("/Trivial"),
                                                             kTrivialName, QStringLiteral("Rate"));
    QDBusConnection bus = QDBusConnection::sessionBus();
    long bareSum = 0;
    const Stats bare = MicrosPerCall(calls, [&](long n) {
        bareSum = 0;
        for (long i = 0; i < n; ++i)
            bareSum += bus.call(call, QDBus::Block).arguments().value(0).toInt();
    });

    // The program stays for the whole run: a client holds it from start to end.
    ScriptClient client;
    if (!client.Ok()) return 1;
    client.Rates(100);
    double bridgeSum = 0;
    const Stats bridge = MicrosPerCall(calls, [&](long n) { bridgeSum = client.Rates(n); });

    const Stats one = Summarise(ConcurrentRates(self, 1, calls));
    const Stats two = Summarise(ConcurrentRates(self, 2, calls));
    trivial.kill();
    trivial.waitForFinished();

    std::printf("A D-Bus round trip, %ld calls a run, min / median of %d runs (microseconds per call)\n",
                calls, kRuns);
    std::printf("  bare QtDBus call to a trivial object    %8.1f / %8.1f\n", bare.min, bare.median);
    std::printf("  chart.Rate from a script, through Tallon %7.1f / %8.1f   %.2fx / %.2fx the bare call\n",
                bridge.min, bridge.median, bridge.min / bare.min, bridge.median / bare.median);
    std::printf("chart.Rate calls per second (min / median of %d runs)\n", kRuns);
    std::printf("  one client                               %8.0f / %8.0f\n", one.min, one.median);
    std::printf("  two clients at once, together            %8.0f / %8.0f   %.2fx / %.2fx one client\n",
                two.min, two.median, two.min / one.min, two.median / one.median);
    const bool ok = bareSum == 1000L * calls && bridgeSum == 1000.0 * double(calls);
    if (!ok) std::printf("MISMATCH: sums %ld %g\n", bareSum, bridgeSum);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // A private bus unless one was given: the benchmark owns names and starts programs on it.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        std::vector<char*> args = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        std::perror("automation_bench: dbus-run-session");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const QStringList a = QCoreApplication::arguments();
    if (a.value(1) == u"--trivial-server") return ServeTrivial();
    if (a.value(1) == u"--client") return ServeAsClient(a.value(2).toLong());
    const long calls = a.size() > 1 ? a[1].toLong() : 2000;
    return RunBenchmark(QCoreApplication::applicationFilePath(), calls > 0 ? calls : 2000);
}

#include "automation_bench.moc"

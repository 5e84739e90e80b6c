#include "CClassFactoryProxy.h"

#include "CAutomationClient.h"

#include "remoting/AutomationProtocol.h"

#include "com/errorinfo.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

namespace zyn::remoting {
namespace {

constexpr int kDefaultStartTimeoutMs = 30000;
constexpr int kPollMs = 20;

// A server named a.b.C offers its class objects at /a/b/C.
QString RootPathOf(const QString& busName) {
    return u'/' + QString(busName).replace(u'.', u'/');
}

bool IsBusName(const QString& name) {
    if (name.isEmpty() || name.size() > 255 || !name.contains(u'.') || name.startsWith(u'.') ||
        name.startsWith(u':'))
        return false;
    for (const QString& element : name.split(u'.')) {
        if (element.isEmpty() || element[0].isDigit()) return false;
        for (QChar c : element)
            if (!(c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_' || c == u'-'))) return false;
    }
    return true;
}

} // namespace

CClassFactoryProxy::CClassFactoryProxy(CAutomationClient& client, const CLSID& clsid, QString commandLine,
                                       QString endpoint)
    : m_client(client), m_clsid(clsid), m_commandLine(std::move(commandLine)),
      m_endpoint(std::move(endpoint)) {}

int CClassFactoryProxy::StartTimeoutMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("ZYN_AUTOMATION_START_TIMEOUT_MS", &ok);
    return ok && ms > 0 ? ms : kDefaultStartTimeoutMs;
}

HRESULT CClassFactoryProxy::Fail(HRESULT hr, const QString& description) const {
    return zyn::com::RaiseError(hr, description.toStdU16String());
}

QString CClassFactoryProxy::Owner() const {
    const QDBusReply<QString> owner = m_client.Bus().interface()->serviceOwner(m_endpoint);
    return owner.isValid() ? owner.value() : QString();
}

bool CClassFactoryProxy::Start(QString* error) const {
    QStringList command = QProcess::splitCommand(m_commandLine);
    if (command.isEmpty()) {
        *error = QStringLiteral("The class is registered without a program to start");
        return false;
    }
    const QString program = command.takeFirst();
    // Detached: the server outlives the client that started it, as other clients may use it.
    if (!QProcess::startDetached(program, command)) {
        *error = QStringLiteral("The server program %1 cannot be started").arg(program);
        return false;
    }
    return true;
}

HRESULT CClassFactoryProxy::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const int timeoutMs = StartTimeoutMs();
    const QDeadlineTimer deadline(timeoutMs);
    const QString clsid = QString::fromStdU16String(zyn::com::GuidToString(m_clsid));
    bool started = false;
    for (;;) {
        const QString owner = Owner();
        if (owner.isEmpty()) {
            if (!started) {
                QString error;
                if (!Start(&error)) return Fail(CO_E_SERVER_EXEC_FAILURE, error);
                started = true;
            } else if (deadline.hasExpired()) {
                return Fail(
                    CO_E_SERVER_EXEC_FAILURE,
                    QStringLiteral("The server program (%1) did not offer %2 on the session bus within %3 ms")
                        .arg(m_commandLine, m_endpoint)
                        .arg(timeoutMs));
            }
            QThread::msleep(kPollMs);
            continue;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            owner, RootPathOf(m_endpoint), kClassFactoryInterface, QStringLiteral("CreateInstance"));
        call.setArguments({clsid});
        QDBusMessage reply;
        RemoteFailure failure;
        if (m_client.Call(call, &reply, &failure)) {
            const QDBusObjectPath path = reply.arguments().value(0).value<QDBusObjectPath>();
            if (path.path().isEmpty() || path.path() == u"/")
                return Fail(E_NOINTERFACE, QStringLiteral("The server made no object"));
            CComPtr<IDispatch> object = m_client.Receive(owner, path.path());
            return object->QueryInterface(iid, out);
        }
        // A server that already made its one object, or that went away meanwhile: the next one.
        const bool passedOn = failure.hr == CO_E_SERVER_STOPPING || failure.hr == RPC_E_DISCONNECTED;
        if (!passedOn || deadline.hasExpired()) return Fail(failure.hr, failure.description);
        QThread::msleep(kPollMs);
    }
}

HRESULT CLocalServerActivator::GetClassObject(REFCLSID clsid, LPCOLESTR commandLine, LPCOLESTR endpoint,
                                              REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const QString name = QString::fromUtf16(endpoint ? endpoint : u"");
    if (!IsBusName(name))
        return zyn::com::RaiseError(REGDB_E_CLASSNOTREG,
                                    u"The class is registered without a bus name to reach it");
    CAutomationClient& client = CAutomationClient::Instance();
    if (!client.IsConnected())
        return zyn::com::RaiseError(CO_E_SERVER_EXEC_FAILURE,
                                    u"There is no session bus to reach the server on");
    CComPtr<IClassFactory> factory(
        new CClassFactoryProxy(client, clsid, QString::fromUtf16(commandLine ? commandLine : u""), name));
    return factory->QueryInterface(iid, out);
}

} // namespace zyn::remoting

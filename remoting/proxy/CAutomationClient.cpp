#include "CAutomationClient.h"

#include "CDispatchProxy.h"

#include "remoting/AutomationProtocol.h"
#include "remoting/VariantWire.h"

namespace zyn::remoting {
namespace {

QString Key(const QString& server, const QString& path) {
    return server + u' ' + path;
}

// Objects of one interface share a folder (root/IZynChart/17); an object published at a fixed path
// is an interface of its own.
QString InterfaceFolder(const QString& path) {
    const QString last = path.section(u'/', -1);
    bool numeric = !last.isEmpty();
    for (QChar c : last)
        numeric = numeric && c.isDigit();
    return numeric ? path.section(u'/', 0, -2) : path;
}

} // namespace

CAutomationClient& CAutomationClient::Instance() {
    static CAutomationClient* client = new CAutomationClient();
    return *client;
}

CAutomationClient::CAutomationClient()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          QStringLiteral("zyn-automation-client"))) {
    RegisterWireTypes();
    RegisterTypeDescriptionTypes();
}

bool CAutomationClient::IsConnected() const {
    return m_bus.isConnected();
}

CComPtr<IDispatch> CAutomationClient::Receive(const QString& server, const QString& path) {
    std::lock_guard lock(m_mutex);
    const QString key = Key(server, path);
    if (CDispatchProxy* known = m_proxies.value(key)) {
        // A proxy on its way out must not be revived; a new one replaces it in the table.
        if (known->InternalTryAddRef()) {
            known->AddRemoteReference();
            CComPtr<IDispatch> out;
            out.Attach(known);
            return out;
        }
    }
    auto* proxy = new CDispatchProxy(*this, server, path);
    m_proxies.insert(key, proxy);
    return CComPtr<IDispatch>(proxy);
}

void CAutomationClient::Forget(const QString& server, const QString& path, const CDispatchProxy* proxy) {
    std::lock_guard lock(m_mutex);
    const QString key = Key(server, path);
    if (m_proxies.value(key) == proxy) m_proxies.remove(key);
}

std::shared_ptr<const CTypeDescription> CAutomationClient::TypeOf(const QString& server,
                                                                  const QString& path) {
    const QString key = Key(server, InterfaceFolder(path));
    {
        std::lock_guard lock(m_mutex);
        if (auto known = m_types.value(key)) return known;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(server, path, kDispatchInterface, QStringLiteral("GetTypeInfo"));
    QDBusMessage reply;
    RemoteFailure failure;
    if (!Call(call, &reply, &failure)) return nullptr;
    auto type = CTypeDescription::FromWire(reply.arguments());
    if (!type) return nullptr;
    std::lock_guard lock(m_mutex);
    // Type tables back ITypeInfo objects handed out: once cached, a description stays.
    if (auto known = m_types.value(key)) return known;
    m_types.insert(key, type);
    return type;
}

bool CAutomationClient::Call(const QDBusMessage& message, QDBusMessage* reply, RemoteFailure* failure,
                             int timeoutMs) {
    QDBusMessage call = message;
    // Objects live in a running server; a call never starts a new one.
    call.setAutoStartService(false);
    *reply = m_bus.call(call, QDBus::Block, timeoutMs);
    if (reply->type() == QDBusMessage::ReplyMessage) return true;
    if (reply->type() == QDBusMessage::ErrorMessage) {
        *failure = ReadErrorReply(*reply);
    } else {
        failure->hr = RPC_E_DISCONNECTED;
        failure->description = QStringLiteral("The session bus cannot be reached");
    }
    return false;
}

void CAutomationClient::SendRelease(const QString& server, const QString& path, quint32 count) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(server, path, kDispatchInterface, QStringLiteral("Release"));
    message.setArguments({count});
    message.setAutoStartService(false);
    // Sent without waiting: a released proxy has nothing left to learn from the server.
    m_bus.send(message);
}

} // namespace zyn::remoting

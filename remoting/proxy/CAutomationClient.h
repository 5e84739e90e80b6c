#pragma once
// CAutomationClient: the client side of automation on D-Bus, one per process. It owns the
// connection to the session bus, keeps one proxy per remote object (so that the references a
// server handed out are given back exactly once), and the type descriptions read from servers.

#include "remoting/RemoteError.h"
#include "remoting/TypeDescription.h"

#include "com/dispatch.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>

#include <memory>
#include <mutex>

namespace zyn::remoting {

class CDispatchProxy;

class CAutomationClient {
public:
    // The process's client; made on first use and kept to the end of the process, because proxies
    // may be released from static destructors.
    static CAutomationClient& Instance();

    bool IsConnected() const;
    const QDBusConnection& Bus() const { return m_bus; }

    // The proxy for the object at `path` of `server` (a unique bus name), for a reference the
    // server has just handed out: an existing proxy takes it over, else a new one is made.
    CComPtr<IDispatch> Receive(const QString& server, const QString& path);
    // Called by a proxy about to go: it leaves the table unless another already took its place.
    void Forget(const QString& server, const QString& path, const CDispatchProxy* proxy);

    // The type description of the object at `path`, read once per interface of a server.
    std::shared_ptr<const CTypeDescription> TypeOf(const QString& server, const QString& path);

    // A blocking call; an error reply comes back as a failure.
    bool Call(const QDBusMessage& message, QDBusMessage* reply, RemoteFailure* failure,
              int timeoutMs = kCallTimeoutMs);
    // Gives back `count` references without waiting for an answer.
    void SendRelease(const QString& server, const QString& path, quint32 count);

    static constexpr int kCallTimeoutMs = 120000;

private:
    CAutomationClient();

    QDBusConnection m_bus;
    std::mutex m_mutex;
    QHash<QString, CDispatchProxy*> m_proxies;                       // server + path
    QHash<QString, std::shared_ptr<const CTypeDescription>> m_types; // server + interface folder
};

} // namespace zyn::remoting

#pragma once
// CDispatchExporter: the server side of automation on D-Bus. Any IDispatch handed to a peer is
// exported at an object path under the root and answers the protocol of AutomationProtocol.h,
// driven only by its type information: calls by dispatch id (Invoke) or by name (the typed
// interface), properties, introspection, and its type description for client proxies.
//
// References are counted per peer connection: each object path a peer receives in a reply is one
// reference of that peer, given back with Release or dropped when the peer leaves the bus (a
// crash included). A peer reaches only the objects it holds (and the published ones): a path of
// another peer's object is no object for it. An object is let go when no peer holds it; objects published at
// fixed paths are held by the exporter itself, and a peer that calls one counts as holding it. Everything
// runs on the thread that owns the exporter (the GUI thread of the program): nothing here waits for a peer.

#include "TypeDescription.h"

#include "com/classregistry.h"
#include "com/dispatch.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QSet>

#include <map>
#include <memory>

class QDBusServiceWatcher;

namespace zyn::remoting {

class CDispatchExporter : public QDBusVirtualObject {
    Q_OBJECT
public:
    // `rootPath` holds every exported object; `interfacePrefix` names the typed interfaces
    // ("com.zynthar.Tallon." + "IZynChart").
    CDispatchExporter(const QDBusConnection& connection, const QString& rootPath,
                      const QString& interfacePrefix, QObject* parent = nullptr);
    ~CDispatchExporter() override;

    // Serves the root path and everything below it on the connection.
    bool Register();

    // An object at the fixed path root/`name`, held by the exporter until unpublished.
    void Publish(const QString& name, IDispatch* object);
    void Unpublish(const QString& name);

    // Class objects that CreateInstance at the root path makes objects with.
    void AddClassObject(REFCLSID clsid, IClassFactory* factory);
    void RemoveClassObject(REFCLSID clsid);

    const QString& RootPath() const { return m_root; }
    // Objects exported to peers (the published ones not counted).
    int ExportedCount() const;
    // Peers holding at least one reference (a published object's included).
    int PeerCount() const;
    // References `peer` holds on the object at `path`.
    quint32 References(const QString& peer, const QString& path) const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

signals:
    // A peer gave back or lost references (its objects may have been let go).
    void ReferencesReleased();

private:
    struct Entry;
    class CallReferences;

    std::shared_ptr<Entry> EntryAt(const QString& path, const QString& peer) const;
    std::shared_ptr<Entry> ExportFor(IUnknown* object, const QString& peer, HRESULT* hr);
    std::shared_ptr<const CTypeDescription> TypeOf(IDispatch* object);
    QString TypedInterface(const Entry& entry) const;
    void Watch(const QString& peer);
    void DropPeer(const QString& peer);
    void ReleaseReferences(Entry& entry, const QString& peer, quint32 count);
    void LetGoIfUnused(const std::shared_ptr<Entry>& entry);

    void Send(const QDBusMessage& message);
    void HandleRoot(const QDBusMessage& message);
    void HandleObject(const std::shared_ptr<Entry>& entry, const QDBusMessage& message);
    void HandleInvoke(Entry& entry, const QDBusMessage& message);
    void HandleTyped(Entry& entry, const QDBusMessage& message);
    void HandlePropertyGet(Entry& entry, const QDBusMessage& message);
    void HandlePropertySet(Entry& entry, const QDBusMessage& message);
    void HandlePropertyGetAll(Entry& entry, const QDBusMessage& message);
    void HandleRelease(const std::shared_ptr<Entry>& entry, const QDBusMessage& message);
    QString ObjectXml(const Entry& entry) const;
    QString ChildrenXml(const QString& path, const QString& peer) const;

    QDBusConnection m_connection;
    QString m_root;
    QString m_prefix;
    bool m_registered = false;
    QHash<QString, std::shared_ptr<Entry>> m_byPath;
    QHash<IUnknown*, std::shared_ptr<Entry>> m_byIdentity;
    QHash<QString, std::shared_ptr<const CTypeDescription>> m_types; // by IID text
    std::map<QString, CComPtr<IClassFactory>> m_classes;             // by CLSID text
    QSet<QString> m_watched;
    QDBusServiceWatcher* m_watcher;
    quint64 m_nextId = 1;
};

} // namespace zyn::remoting

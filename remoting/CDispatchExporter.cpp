#include "CDispatchExporter.h"

#include "AutomationProtocol.h"
#include "RemoteError.h"
#include "VariantWire.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"
#include "com/hresulttext.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <vector>

namespace zyn::remoting {
namespace {

const QString kStandardXml = QStringLiteral(
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\"><arg name=\"xml_data\" type=\"s\" direction=\"out\"/></method>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Peer\">\n"
    "    <method name=\"Ping\"/>\n"
    "    <method name=\"GetMachineId\"><arg name=\"machine_uuid\" type=\"s\" direction=\"out\"/></method>\n"
    "  </interface>\n");

const QString kObjectXml = QStringLiteral(
    "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
    "    <method name=\"Get\"><arg name=\"interface_name\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"property_name\" type=\"s\" direction=\"in\"/><arg name=\"value\" type=\"v\" "
    "direction=\"out\"/>"
    "</method>\n"
    "    <method name=\"Set\"><arg name=\"interface_name\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"property_name\" type=\"s\" direction=\"in\"/><arg name=\"value\" type=\"v\" "
    "direction=\"in\"/>"
    "</method>\n"
    "    <method name=\"GetAll\"><arg name=\"interface_name\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"values\" type=\"a{sv}\" direction=\"out\"/></method>\n"
    "    <signal name=\"PropertiesChanged\"><arg name=\"interface_name\" type=\"s\"/>"
    "<arg name=\"changed_properties\" type=\"a{sv}\"/><arg name=\"invalidated_properties\" "
    "type=\"as\"/></signal>\n"
    "  </interface>\n"
    "  <interface name=\"com.zynthar.Automation.Dispatch\">\n"
    "    <method name=\"Invoke\"><arg name=\"dispid\" type=\"i\" direction=\"in\"/>"
    "<arg name=\"flags\" type=\"i\" direction=\"in\"/><arg name=\"args\" type=\"av\" direction=\"in\"/>"
    "<arg name=\"result\" type=\"v\" direction=\"out\"/></method>\n"
    "    <method name=\"GetTypeInfo\"><arg name=\"name\" type=\"s\" direction=\"out\"/>"
    "<arg name=\"iid\" type=\"s\" direction=\"out\"/><arg name=\"help\" type=\"s\" direction=\"out\"/>"
    "<arg name=\"members\" type=\"a(iyssa(sqy))\" direction=\"out\"/></method>\n"
    "    <method name=\"Release\"><arg name=\"count\" type=\"u\" direction=\"in\"/></method>\n"
    "  </interface>\n");

const QString kRootXml =
    QStringLiteral("  <interface name=\"com.zynthar.Automation.ClassFactory\">\n"
                   "    <method name=\"CreateInstance\"><arg name=\"clsid\" type=\"s\" direction=\"in\"/>"
                   "<arg name=\"object\" type=\"o\" direction=\"out\"/></method>\n"
                   "  </interface>\n");

const QLatin1String kUnknownObject("org.freedesktop.DBus.Error.UnknownObject");
const QLatin1String kUnknownMethod("org.freedesktop.DBus.Error.UnknownMethod");
const QLatin1String kUnknownInterface("org.freedesktop.DBus.Error.UnknownInterface");
const QLatin1String kUnknownProperty("org.freedesktop.DBus.Error.UnknownProperty");
const QLatin1String kReadOnly("org.freedesktop.DBus.Error.PropertyReadOnly");
const QLatin1String kInvalidArgs("org.freedesktop.DBus.Error.InvalidArgs");

QString Document(const QString& inner) {
    return QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                          " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n") +
           inner + QStringLiteral("</node>\n");
}

QString FromBstr(BSTR s) {
    return QString::fromUtf16(s, static_cast<qsizetype>(SysStringLen(s)));
}

QString GuidText(const GUID& g) {
    return QString::fromStdU16String(zyn::com::GuidToString(g));
}

// A path element made of the characters D-Bus allows.
QString PathElement(const QString& name) {
    QString out;
    for (QChar c : name)
        out += (c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_')) ? c : QChar(u'_');
    return out.isEmpty() ? QStringLiteral("Object") : out;
}

bool IsPutFlag(int flags) {
    return flags == DISPATCH_PROPERTYPUT || flags == DISPATCH_PROPERTYPUTREF;
}

bool IsKnownFlags(int flags) {
    return flags == DISPATCH_METHOD || flags == DISPATCH_PROPERTYGET ||
           flags == (DISPATCH_METHOD | DISPATCH_PROPERTYGET) || IsPutFlag(flags);
}

// The VARIANTs of one call, last argument first as DISPPARAMS wants them.
class Arguments {
public:
    explicit Arguments(qsizetype count) : m_items(static_cast<std::size_t>(count)) {
        for (VARIANT& v : m_items)
            VariantInit(&v);
    }
    ~Arguments() {
        for (VARIANT& v : m_items)
            VariantClear(&v);
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    VARIANT* Slot(qsizetype i) { return &m_items[m_items.size() - 1 - static_cast<std::size_t>(i)]; }
    VARIANT* Data() { return m_items.empty() ? nullptr : m_items.data(); }
    UINT Count() const { return static_cast<UINT>(m_items.size()); }

private:
    std::vector<VARIANT> m_items;
};

RemoteFailure Failure(HRESULT hr, QString description, QString source = QString(), quint32 argument = 0) {
    RemoteFailure f;
    f.hr = hr;
    f.description = std::move(description);
    f.source = std::move(source);
    f.argument = argument;
    return f;
}

// What a failed class factory left in the thread's error object, if anything.
QString ErrorInfoText() {
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    QString out = FromBstr(text);
    SysFreeString(text);
    return out;
}

} // namespace

struct CDispatchExporter::Entry {
    QString path;
    QString segment;
    CComPtr<IUnknown> identity;
    CComPtr<IDispatch> dispatch;
    std::shared_ptr<const CTypeDescription> type;
    QHash<QString, quint32> peers;
    bool published = false;

    QString TypeName() const { return type ? type->Name() : QString(); }
};

// The object references of one call from one peer. Objects handed out while the reply is built
// are counted for the peer at once; a reply that is then not sent gives them back.
class CDispatchExporter::CallReferences final : public IObjectReferences {
public:
    CallReferences(CDispatchExporter& owner, QString peer) : m_owner(owner), m_peer(std::move(peer)) {}

    bool ExportObject(IUnknown* object, QDBusObjectPath* out, WireError* error) override {
        if (!object) {
            *out = QDBusObjectPath(QStringLiteral("/"));
            return true;
        }
        HRESULT hr = S_OK;
        std::shared_ptr<Entry> entry = m_owner.ExportFor(object, m_peer, &hr);
        if (!entry) {
            if (error) *error = {hr, QStringLiteral("The object cannot be used from another process")};
            return false;
        }
        m_exported.push_back(entry);
        *out = QDBusObjectPath(entry->path);
        return true;
    }

    bool ImportObject(const QDBusObjectPath& path, IDispatch** out, WireError* error) override {
        *out = nullptr;
        if (path.path() == u"/") return true;
        std::shared_ptr<Entry> entry = m_owner.EntryAt(path.path(), m_peer);
        if (!entry) {
            if (error)
                *error = {CO_E_OBJNOTCONNECTED, QStringLiteral("There is no object at %1").arg(path.path())};
            return false;
        }
        *out = entry->dispatch;
        (*out)->AddRef();
        return true;
    }

    void Rollback() {
        for (const auto& entry : std::exchange(m_exported, {})) {
            m_owner.ReleaseReferences(*entry, m_peer, 1);
            m_owner.LetGoIfUnused(entry);
        }
    }

    const QString& Peer() const { return m_peer; }

private:
    CDispatchExporter& m_owner;
    QString m_peer;
    std::vector<std::shared_ptr<Entry>> m_exported;
};

namespace {

// Calls one member: the arguments first to last as they came, converted to VARIANTs; the result
// in `result`. False with the failure filled in when the call did not succeed.
bool CallMember(IDispatch* dispatch, const QString& typeName, DISPID id, WORD flags,
                const QList<QVariant>& args, IObjectReferences& refs, VARIANT* result,
                RemoteFailure* failure) {
    Arguments converted(args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        WireError error;
        if (!WireToVariant(args[i], refs, converted.Slot(i), &error)) {
            *failure = Failure(error.hr, QStringLiteral("Argument %1: %2").arg(i + 1).arg(error.description),
                               typeName, static_cast<quint32>(args.size() - 1 - i));
            return false;
        }
    }
    DISPID putId = DISPID_PROPERTYPUT;
    const bool put = IsPutFlag(flags);
    DISPPARAMS params{converted.Data(), put ? &putId : nullptr, converted.Count(), put ? 1u : 0u};
    CExcepInfo excep;
    UINT argErr = 0;
    // The object stays alive through the call whatever the call does to the export table.
    CComPtr<IDispatch> keep(dispatch);
    const HRESULT hr = keep->Invoke(id, GUID_NULL, 0, flags, &params, result, &excep, &argErr);
    if (SUCCEEDED(hr)) return true;
    if (hr == DISP_E_EXCEPTION) {
        RemoteFailure f;
        f.hr = excep.scode   ? excep.scode
               : excep.wCode ? static_cast<HRESULT>(0x80040000u | excep.wCode)
                             : E_FAIL;
        f.description = FromBstr(excep.bstrDescription);
        f.source = FromBstr(excep.bstrSource);
        f.raised = true;
        *failure = f;
        return false;
    }
    QString text = QString::fromStdU16String(zyn::com::DescribeHResult(hr));
    const bool argumentError =
        hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTFOUND;
    if (argumentError && argErr < converted.Count())
        text += QStringLiteral(" (argument %1)").arg(converted.Count() - argErr);
    *failure = Failure(hr, text, typeName, argErr);
    return false;
}

} // namespace

CDispatchExporter::CDispatchExporter(const QDBusConnection& connection, const QString& rootPath,
                                     const QString& interfacePrefix, QObject* parent)
    : QDBusVirtualObject(parent), m_connection(connection), m_root(rootPath), m_prefix(interfacePrefix),
      m_watcher(new QDBusServiceWatcher(this)) {
    RegisterWireTypes();
    RegisterTypeDescriptionTypes();
    m_watcher->setConnection(m_connection);
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &CDispatchExporter::DropPeer);
}

CDispatchExporter::~CDispatchExporter() {
    if (m_registered) m_connection.unregisterObject(m_root, QDBusConnection::UnregisterTree);
    // Objects go before the class objects that made them, in no particular order among themselves.
    m_byIdentity.clear();
    m_byPath.clear();
    m_classes.clear();
}

bool CDispatchExporter::Register() {
    m_registered = m_connection.registerVirtualObject(m_root, this,
                                                      QDBusConnection::VirtualObjectRegisterOption::SubPath);
    return m_registered;
}

void CDispatchExporter::Publish(const QString& name, IDispatch* object) {
    Unpublish(name);
    if (!object) return;
    auto entry = std::make_shared<Entry>();
    entry->path = m_root + u'/' + PathElement(name);
    entry->segment = PathElement(name);
    object->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(&entry->identity));
    entry->dispatch = object;
    entry->type = TypeOf(object);
    entry->published = true;
    m_byPath.insert(entry->path, entry);
    if (entry->identity) m_byIdentity.insert(entry->identity.p, entry);
}

void CDispatchExporter::Unpublish(const QString& name) {
    const auto entry = m_byPath.value(m_root + u'/' + PathElement(name));
    if (!entry || !entry->published) return;
    entry->published = false;
    LetGoIfUnused(entry);
}

void CDispatchExporter::AddClassObject(REFCLSID clsid, IClassFactory* factory) {
    m_classes[GuidText(clsid)] = factory;
}

void CDispatchExporter::RemoveClassObject(REFCLSID clsid) {
    m_classes.erase(GuidText(clsid));
}

int CDispatchExporter::ExportedCount() const {
    int n = 0;
    for (const auto& entry : m_byPath)
        if (!entry->published && !entry->peers.isEmpty()) ++n;
    return n;
}

int CDispatchExporter::PeerCount() const {
    QSet<QString> holding;
    for (const auto& entry : m_byPath)
        for (auto it = entry->peers.cbegin(); it != entry->peers.cend(); ++it)
            holding.insert(it.key());
    return int(holding.size());
}

quint32 CDispatchExporter::References(const QString& peer, const QString& path) const {
    const auto entry = m_byPath.value(path);
    return entry ? entry->peers.value(peer) : 0;
}

std::shared_ptr<CDispatchExporter::Entry> CDispatchExporter::EntryAt(const QString& path,
                                                                     const QString& peer) const {
    std::shared_ptr<Entry> entry = m_byPath.value(path);
    // A peer reaches what it was handed, and the published objects; another peer's objects are
    // not there for it, whatever path it tries.
    if (entry && !entry->published && !entry->peers.contains(peer)) return nullptr;
    return entry;
}

std::shared_ptr<const CTypeDescription> CDispatchExporter::TypeOf(IDispatch* object) {
    UINT count = 0;
    if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return nullptr;
    CComPtr<ITypeInfo> typeInfo;
    if (FAILED(object->GetTypeInfo(0, 0, &typeInfo)) || !typeInfo) return nullptr;
    TYPEATTR* attr = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attr)) || !attr) return nullptr;
    const QString key = GuidText(attr->guid);
    typeInfo->ReleaseTypeAttr(attr);
    if (auto known = m_types.value(key)) return known;
    auto type = CTypeDescription::FromTypeInfo(typeInfo);
    if (type) m_types.insert(key, type);
    return type;
}

std::shared_ptr<CDispatchExporter::Entry> CDispatchExporter::ExportFor(IUnknown* object, const QString& peer,
                                                                       HRESULT* hr) {
    CComPtr<IUnknown> identity;
    *hr = object->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(&identity));
    if (FAILED(*hr) || !identity) return nullptr;
    std::shared_ptr<Entry> entry = m_byIdentity.value(identity.p);
    if (!entry) {
        CComPtr<IDispatch> dispatch;
        *hr = object->QueryInterface(IDispatch::kIID, reinterpret_cast<void**>(&dispatch));
        if (FAILED(*hr) || !dispatch) return nullptr;
        entry = std::make_shared<Entry>();
        entry->identity = identity;
        entry->dispatch = dispatch;
        entry->type = TypeOf(dispatch);
        entry->segment = PathElement(entry->TypeName());
        entry->path = m_root + u'/' + entry->segment + u'/' + QString::number(m_nextId++);
        m_byPath.insert(entry->path, entry);
        m_byIdentity.insert(identity.p, entry);
    }
    if (!peer.isEmpty()) {
        ++entry->peers[peer];
        Watch(peer);
    }
    return entry;
}

void CDispatchExporter::Watch(const QString& peer) {
    if (m_watched.contains(peer)) return;
    m_watched.insert(peer);
    m_watcher->addWatchedService(peer);
    // A peer that left before the watch was in place is never reported: ask the bus once.
    auto* call = new QDBusPendingCallWatcher(
        m_connection.interface()->asyncCall(QStringLiteral("NameHasOwner"), peer), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, peer](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<bool> reply = *w;
        if (reply.isValid() && !reply.value()) DropPeer(peer);
        w->deleteLater();
    });
}

void CDispatchExporter::DropPeer(const QString& peer) {
    if (!m_watched.remove(peer)) return;
    m_watcher->removeWatchedService(peer);
    const auto entries = m_byPath.values();
    for (const auto& entry : entries) {
        if (entry->peers.remove(peer)) LetGoIfUnused(entry);
    }
    emit ReferencesReleased();
}

void CDispatchExporter::ReleaseReferences(Entry& entry, const QString& peer, quint32 count) {
    auto it = entry.peers.find(peer);
    if (it == entry.peers.end()) return;
    if (count >= it.value())
        entry.peers.erase(it);
    else
        it.value() -= count;
}

void CDispatchExporter::LetGoIfUnused(const std::shared_ptr<Entry>& entry) {
    if (entry->published || !entry->peers.isEmpty()) return;
    // Only the maps let go here; the object itself goes with the last holder of the entry, which
    // may be a call still running on it.
    if (m_byPath.value(entry->path) == entry) m_byPath.remove(entry->path);
    if (entry->identity && m_byIdentity.value(entry->identity.p) == entry)
        m_byIdentity.remove(entry->identity.p);
}

QString CDispatchExporter::TypedInterface(const Entry& entry) const {
    return entry.type ? m_prefix + entry.type->Name() : QString();
}

void CDispatchExporter::Send(const QDBusMessage& message) {
    m_connection.send(message);
}

QString CDispatchExporter::ObjectXml(const Entry& entry) const {
    QString xml = kStandardXml + kObjectXml;
    if (entry.type) xml += entry.type->IntrospectionXml(TypedInterface(entry));
    return xml;
}

QString CDispatchExporter::ChildrenXml(const QString& path, const QString& peer) const {
    QSet<QString> children;
    const QString prefix = path + u'/';
    for (auto it = m_byPath.cbegin(); it != m_byPath.cend(); ++it) {
        if (!it.key().startsWith(prefix) || !EntryAt(it.key(), peer)) continue;
        children.insert(it.key().mid(prefix.size()).section(u'/', 0, 0));
    }
    QStringList sorted(children.begin(), children.end());
    sorted.sort();
    QString xml;
    for (const QString& child : sorted)
        xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(child);
    return xml;
}

QString CDispatchExporter::introspect(const QString& path) const {
    // Only asked for when a message was not handled; every message is.
    return path == m_root ? kStandardXml + kRootXml : kStandardXml;
}

bool CDispatchExporter::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const QString path = message.path();
    if (path == m_root) {
        HandleRoot(message);
        return true;
    }
    if (const auto entry = EntryAt(path, message.service())) {
        HandleObject(entry, message);
        return true;
    }
    // Between the root and the objects: the folders of one interface's objects.
    const bool introspect = message.member() == u"Introspect" && message.signature().isEmpty();
    const QString children = ChildrenXml(path, message.service());
    if (introspect && !children.isEmpty()) {
        Send(message.createReply(Document(kStandardXml + children)));
        return true;
    }
    Send(
        MakeErrorReply(message,
                       Failure(CO_E_OBJNOTCONNECTED,
                               QStringLiteral("There is no object at %1 for this caller: it was never handed "
                                              "to it, or it has released it, or its server let it go")
                                   .arg(path)),
                       kUnknownObject));
    return true;
}

void CDispatchExporter::HandleRoot(const QDBusMessage& message) {
    const QString iface = message.interface();
    const QString member = message.member();
    if ((iface.isEmpty() || iface == kIntrospectableInterface) && member == u"Introspect") {
        Send(message.createReply(Document(kStandardXml + kRootXml + ChildrenXml(m_root, message.service()))));
        return;
    }
    if ((iface.isEmpty() || iface == kClassFactoryInterface) && member == u"CreateInstance") {
        if (message.signature() != u"s") {
            Send(MakeErrorReply(
                message, Failure(DISP_E_TYPEMISMATCH, QStringLiteral("CreateInstance takes (s clsid)")),
                kInvalidArgs));
            return;
        }
        const auto clsid = zyn::com::GuidFromString(message.arguments().value(0).toString().toStdU16String());
        const auto found = clsid ? m_classes.find(GuidText(*clsid)) : m_classes.end();
        const CComPtr<IClassFactory> factory = found != m_classes.end() ? found->second : nullptr;
        if (!factory) {
            Send(
                MakeErrorReply(message, Failure(CLASS_E_CLASSNOTAVAILABLE,
                                                QStringLiteral("This server makes no objects of the class %1")
                                                    .arg(message.arguments().value(0).toString()))));
            return;
        }
        CComPtr<IDispatch> object;
        SetErrorInfo(0, nullptr);
        const HRESULT hr =
            factory->CreateInstance(nullptr, IDispatch::kIID, reinterpret_cast<void**>(&object));
        if (FAILED(hr) || !object) {
            Send(MakeErrorReply(message, Failure(FAILED(hr) ? hr : E_NOINTERFACE, ErrorInfoText())));
            return;
        }
        CallReferences refs(*this, message.service());
        QDBusObjectPath path;
        WireError error;
        if (!refs.ExportObject(object, &path, &error)) {
            Send(MakeErrorReply(message, Failure(error.hr, error.description)));
            return;
        }
        if (message.isReplyRequired())
            Send(message.createReply(QVariant::fromValue(path)));
        else
            refs.Rollback();
        return;
    }
    Send(MakeErrorReply(
        message,
        Failure(DISP_E_MEMBERNOTFOUND,
                QStringLiteral("The root of the server has no method %1.%2").arg(iface, member)),
        kUnknownMethod));
}

void CDispatchExporter::HandleObject(const std::shared_ptr<Entry>& entry, const QDBusMessage& message) {
    // A peer that calls a published object holds it while it stays on the bus (or until it
    // releases it), as if it had been handed out.
    const QString peer = message.service();
    if (entry->published && !peer.isEmpty() && !entry->peers.contains(peer)) {
        entry->peers.insert(peer, 1);
        Watch(peer);
    }
    const QString iface = message.interface();
    const QString member = message.member();
    const QString signature = message.signature();
    const bool any = iface.isEmpty();
    if ((any || iface == kIntrospectableInterface) && member == u"Introspect" && signature.isEmpty()) {
        Send(message.createReply(Document(ObjectXml(*entry))));
        return;
    }
    if (iface == kPropertiesInterface ||
        (any && (member == u"Get" || member == u"Set" || member == u"GetAll") &&
         !(entry->type && entry->type->FindMethod(member)))) {
        if (member == u"Get" && signature == u"ss") return HandlePropertyGet(*entry, message);
        if (member == u"Set" && signature == u"ssv") return HandlePropertySet(*entry, message);
        if (member == u"GetAll" && signature == u"s") return HandlePropertyGetAll(*entry, message);
        Send(MakeErrorReply(
            message,
            Failure(DISP_E_MEMBERNOTFOUND, QStringLiteral("No method %1 with the signature (%2) in %3")
                                               .arg(member, signature, QString(kPropertiesInterface))),
            kUnknownMethod));
        return;
    }
    if (iface == kDispatchInterface ||
        (any && !(entry->type && entry->type->FindMethod(member)) &&
         (member == u"Invoke" || member == u"GetTypeInfo" || member == u"Release"))) {
        if (member == u"Invoke") return HandleInvoke(*entry, message);
        if (member == u"Release") return HandleRelease(entry, message);
        if (member == u"GetTypeInfo" && signature.isEmpty()) {
            if (!entry->type) {
                Send(MakeErrorReply(message, Failure(TYPE_E_ELEMENTNOTFOUND,
                                                     QStringLiteral("The object has no type information"))));
                return;
            }
            QDBusMessage reply = message.createReply();
            reply.setArguments(entry->type->ToWire());
            Send(reply);
            return;
        }
        Send(MakeErrorReply(
            message,
            Failure(DISP_E_MEMBERNOTFOUND, QStringLiteral("No method %1 with the signature (%2) in %3")
                                               .arg(member, signature, QString(kDispatchInterface))),
            kUnknownMethod));
        return;
    }
    if (any || iface == TypedInterface(*entry)) return HandleTyped(*entry, message);
    Send(MakeErrorReply(
        message,
        Failure(DISP_E_MEMBERNOTFOUND,
                QStringLiteral("The object at %1 has no interface %2").arg(entry->path, iface)),
        kUnknownInterface));
}

void CDispatchExporter::HandleInvoke(Entry& entry, const QDBusMessage& message) {
    if (message.signature() != u"iiav") {
        Send(MakeErrorReply(
            message,
            Failure(DISP_E_TYPEMISMATCH, QStringLiteral("Invoke takes (i dispid, i flags, av args), "
                                                        "not (%1)")
                                             .arg(message.signature())),
            kInvalidArgs));
        return;
    }
    const QList<QVariant> in = message.arguments();
    const DISPID id = in[0].toInt();
    const int flags = in[1].toInt();
    if (!IsKnownFlags(flags)) {
        Send(MakeErrorReply(message, Failure(E_INVALIDARG,
                                             QStringLiteral("The call flags %1 are not known").arg(flags),
                                             entry.TypeName())));
        return;
    }
    QList<QVariant> args;
    if (in[2].userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument list = in[2].value<QDBusArgument>();
        const CArrayScope scope(list);
        while (!list.atEnd() && args.size() <= kMaxArguments) {
            QDBusVariant v;
            list >> v;
            args << v.variant();
        }
    } else {
        args = in[2].toList();
    }
    if (args.size() > kMaxArguments) {
        Send(MakeErrorReply(message, Failure(DISP_E_BADPARAMCOUNT,
                                             QStringLiteral("More than %1 arguments").arg(kMaxArguments),
                                             entry.TypeName())));
        return;
    }

    CallReferences refs(*this, message.service());
    CComVariant result;
    RemoteFailure failure;
    if (!CallMember(entry.dispatch, entry.TypeName(), id, WORD(flags), args, refs,
                    IsPutFlag(flags) ? nullptr : &result, &failure)) {
        Send(MakeErrorReply(message, failure));
        return;
    }
    QVariant out;
    WireError error;
    if (!VariantToWire(result, refs, &out, &error)) {
        refs.Rollback();
        Send(MakeErrorReply(message, Failure(error.hr, error.description, entry.TypeName())));
        return;
    }
    if (!message.isReplyRequired()) {
        refs.Rollback();
        return;
    }
    Send(message.createReply(QVariant::fromValue(QDBusVariant(out))));
}

void CDispatchExporter::HandleTyped(Entry& entry, const QDBusMessage& message) {
    const QString member = message.member();
    const CTypeDescription::Method* method = entry.type ? entry.type->FindMethod(member) : nullptr;
    if (!method) {
        Send(MakeErrorReply(message,
                            Failure(DISP_E_MEMBERNOTFOUND,
                                    QStringLiteral("%1 has no method %2").arg(entry.TypeName(), member),
                                    entry.TypeName()),
                            kUnknownMethod));
        return;
    }
    // The signature must be the declared one, or it with trailing optional arguments left out.
    const WireMember& declared = *method->member;
    QStringList parts;
    for (const WireParam& p : declared.params)
        if (!(p.flags & zyn::com::kParamRetval)) parts << SignatureOf(p.vt);
    const qsizetype required = parts.size() - method->optionalTail;
    bool accepted = false;
    QString prefix;
    for (qsizetype k = 0; k <= parts.size() && !accepted; ++k) {
        accepted = k >= required && message.signature() == prefix;
        if (k < parts.size()) prefix += parts[k];
    }
    if (!accepted) {
        Send(MakeErrorReply(
            message,
            Failure(DISP_E_TYPEMISMATCH,
                    QStringLiteral("%1.%2 takes (%3), not (%4)")
                        .arg(entry.TypeName(), member, method->inSignature, message.signature()),
                    entry.TypeName()),
            kInvalidArgs));
        return;
    }
    CallReferences refs(*this, message.service());
    CComVariant result;
    RemoteFailure failure;
    if (!CallMember(entry.dispatch, entry.TypeName(), declared.id, DISPATCH_METHOD, message.arguments(), refs,
                    &result, &failure)) {
        Send(MakeErrorReply(message, failure));
        return;
    }
    QDBusMessage reply = message.createReply();
    if (!method->outSignature.isEmpty()) {
        QVariant out;
        WireError error;
        if (!VariantToTyped(result, declared.params.back().vt, refs, &out, &error)) {
            refs.Rollback();
            Send(MakeErrorReply(message, Failure(error.hr, error.description, entry.TypeName())));
            return;
        }
        reply.setArguments({out});
    }
    if (!message.isReplyRequired()) {
        refs.Rollback();
        return;
    }
    Send(reply);
}

void CDispatchExporter::HandlePropertyGet(Entry& entry, const QDBusMessage& message) {
    const QList<QVariant> in = message.arguments();
    const QString iface = in[0].toString();
    const QString name = in[1].toString();
    const CTypeDescription::Property* prop = entry.type && (iface.isEmpty() || iface == TypedInterface(entry))
                                                 ? entry.type->FindProperty(name)
                                                 : nullptr;
    if (!prop || !prop->getter) {
        Send(MakeErrorReply(
            message,
            Failure(DISP_E_MEMBERNOTFOUND,
                    QStringLiteral("%1 has no readable property %2").arg(entry.TypeName(), name),
                    entry.TypeName()),
            kUnknownProperty));
        return;
    }
    CallReferences refs(*this, message.service());
    CComVariant result;
    RemoteFailure failure;
    if (!CallMember(entry.dispatch, entry.TypeName(), prop->getter->id, DISPATCH_PROPERTYGET, {}, refs,
                    &result, &failure)) {
        Send(MakeErrorReply(message, failure));
        return;
    }
    QVariant out;
    WireError error;
    if (!VariantToTyped(result, prop->getter->params.back().vt, refs, &out, &error)) {
        refs.Rollback();
        Send(MakeErrorReply(message, Failure(error.hr, error.description, entry.TypeName())));
        return;
    }
    if (!message.isReplyRequired()) {
        refs.Rollback();
        return;
    }
    Send(message.createReply(QVariant::fromValue(QDBusVariant(out))));
}

void CDispatchExporter::HandlePropertySet(Entry& entry, const QDBusMessage& message) {
    const QList<QVariant> in = message.arguments();
    const QString iface = in[0].toString();
    const QString name = in[1].toString();
    const CTypeDescription::Property* prop = entry.type && (iface.isEmpty() || iface == TypedInterface(entry))
                                                 ? entry.type->FindProperty(name)
                                                 : nullptr;
    if (!prop || !prop->setter) {
        Send(MakeErrorReply(
            message,
            Failure(DISP_E_MEMBERNOTFOUND,
                    QStringLiteral("%1 has no writable property %2").arg(entry.TypeName(), name),
                    entry.TypeName()),
            prop ? QString(kReadOnly) : QString(kUnknownProperty)));
        return;
    }
    // As with the typed methods, the value comes with the declared type (a VARIANT takes any).
    const QVariant value = in[2].value<QDBusVariant>().variant();
    const QString given = value.userType() == qMetaTypeId<QDBusArgument>()
                              ? value.value<QDBusArgument>().currentSignature()
                              : QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
    if (prop->signature != u"v" && given != prop->signature) {
        Send(MakeErrorReply(message,
                            Failure(DISP_E_TYPEMISMATCH,
                                    QStringLiteral("%1.%2 is of type %3, not %4")
                                        .arg(entry.TypeName(), name, prop->signature, given),
                                    entry.TypeName()),
                            kInvalidArgs));
        return;
    }
    CallReferences refs(*this, message.service());
    RemoteFailure failure;
    if (!CallMember(entry.dispatch, entry.TypeName(), prop->setter->id, DISPATCH_PROPERTYPUT, {value}, refs,
                    nullptr, &failure)) {
        Send(MakeErrorReply(message, failure));
        return;
    }
    Send(message.createReply());
}

void CDispatchExporter::HandlePropertyGetAll(Entry& entry, const QDBusMessage& message) {
    const QString iface = message.arguments().value(0).toString();
    QVariantMap values;
    if (entry.type && (iface.isEmpty() || iface == TypedInterface(entry))) {
        CallReferences refs(*this, message.service());
        for (const CTypeDescription::Property& prop : entry.type->Properties()) {
            // Object-valued properties hand out a reference with every read: only Get reads them.
            if (!prop.getter || prop.objectValued) continue;
            CComVariant result;
            RemoteFailure failure;
            if (!CallMember(entry.dispatch, entry.TypeName(), prop.getter->id, DISPATCH_PROPERTYGET, {}, refs,
                            &result, &failure))
                continue;
            QVariant out;
            WireError error;
            if (VariantToTyped(result, prop.getter->params.back().vt, refs, &out, &error))
                values.insert(prop.name, out);
        }
    }
    Send(message.createReply(QVariant::fromValue(values)));
}

void CDispatchExporter::HandleRelease(const std::shared_ptr<Entry>& entry, const QDBusMessage& message) {
    if (message.signature() != u"u") {
        Send(MakeErrorReply(message, Failure(DISP_E_TYPEMISMATCH, QStringLiteral("Release takes (u count)")),
                            kInvalidArgs));
        return;
    }
    ReleaseReferences(*entry, message.service(), message.arguments()[0].toUInt());
    if (message.isReplyRequired()) Send(message.createReply());
    LetGoIfUnused(entry);
    emit ReferencesReleased();
}

} // namespace zyn::remoting

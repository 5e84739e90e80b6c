#include "RemoteError.h"

#include "AutomationProtocol.h"

#include "com/hresulttext.h"

namespace zyn::remoting {
namespace {

struct BusError {
    const char* name;
    HRESULT hr;
};

// What the bus's own errors mean to an automation caller.
constexpr BusError kBusErrors[] = {
    {"org.freedesktop.DBus.Error.ServiceUnknown", RPC_E_DISCONNECTED},
    {"org.freedesktop.DBus.Error.NameHasNoOwner", RPC_E_DISCONNECTED},
    {"org.freedesktop.DBus.Error.Disconnected", RPC_E_DISCONNECTED},
    {"org.freedesktop.DBus.Error.NoReply", RPC_E_TIMEOUT},
    {"org.freedesktop.DBus.Error.Timeout", RPC_E_TIMEOUT},
    {"org.freedesktop.DBus.Error.TimedOut", RPC_E_TIMEOUT},
    {"org.freedesktop.DBus.Error.UnknownObject", CO_E_OBJNOTCONNECTED},
    {"org.freedesktop.DBus.Error.UnknownMethod", DISP_E_MEMBERNOTFOUND},
    {"org.freedesktop.DBus.Error.UnknownInterface", DISP_E_MEMBERNOTFOUND},
    {"org.freedesktop.DBus.Error.UnknownProperty", DISP_E_MEMBERNOTFOUND},
    {"org.freedesktop.DBus.Error.PropertyReadOnly", DISP_E_MEMBERNOTFOUND},
    {"org.freedesktop.DBus.Error.InvalidArgs", DISP_E_TYPEMISMATCH},
    {"org.freedesktop.DBus.Error.NoMemory", E_OUTOFMEMORY},
    {"org.freedesktop.DBus.Error.AccessDenied", E_ACCESSDENIED},
    {"org.freedesktop.DBus.Error.LimitsExceeded", E_OUTOFMEMORY},
};

QString DefaultText(HRESULT hr) {
    return QString::fromStdU16String(zyn::com::DescribeHResult(hr));
}

} // namespace

QDBusMessage MakeErrorReply(const QDBusMessage& call, const RemoteFailure& failure, const QString& dbusName) {
    const QString name = !dbusName.isEmpty() ? dbusName
                         : failure.raised    ? QString(kExceptionName)
                                             : QString(kErrorName);
    const QString text = failure.description.isEmpty() ? DefaultText(failure.hr) : failure.description;
    // The text goes first as every error's message; the rest follows it.
    QDBusMessage reply = call.createErrorReply(name, text);
    reply.setArguments({static_cast<int>(failure.hr), failure.source, failure.argument});
    return reply;
}

RemoteFailure ReadErrorReply(const QDBusMessage& reply) {
    RemoteFailure f;
    const QString name = reply.errorName();
    const QList<QVariant> args = reply.arguments();
    f.description = reply.errorMessage();
    const bool ours = name == kErrorName || name == kExceptionName;
    // Any error with the protocol's body carries its own HRESULT, whatever its name.
    if (args.size() == 4 && args[1].userType() == QMetaType::Int &&
        args[2].userType() == QMetaType::QString && args[3].userType() == QMetaType::UInt) {
        f.description = args[0].toString();
        f.hr = static_cast<HRESULT>(args[1].toInt());
        f.source = args[2].toString();
        f.argument = args[3].toUInt();
        f.raised = name == kExceptionName;
        if (SUCCEEDED(f.hr)) f.hr = E_FAIL;
        return f;
    }
    f.hr = ours ? E_FAIL : RPC_E_SERVERFAULT;
    for (const BusError& e : kBusErrors)
        if (name == QLatin1String(e.name)) f.hr = e.hr;
    if (f.description.isEmpty()) f.description = DefaultText(f.hr);
    return f;
}

} // namespace zyn::remoting

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

const QString kSourceOpen = QStringLiteral(" (source: ");

QString DefaultText(HRESULT hr) {
    return QString::fromStdU16String(zyn::com::DescribeHResult(hr));
}

} // namespace

QDBusMessage MakeErrorReply(const QDBusMessage& call, const RemoteFailure& failure, const QString& dbusName) {
    QString name = dbusName;
    if (name.isEmpty()) {
        name = failure.raised ? QString(kExceptionName) : QString(kErrorName);
        name +=
            QStringLiteral(".E%1").arg(static_cast<quint32>(failure.hr), 8, 16, QLatin1Char('0')).toUpper();
        if (!failure.raised && failure.argument > 0) name += QStringLiteral(".A%1").arg(failure.argument);
    }
    QString text = failure.description.isEmpty() ? DefaultText(failure.hr) : failure.description;
    if (!failure.source.isEmpty()) text += kSourceOpen + failure.source + u')';
    return call.createErrorReply(name, text);
}

RemoteFailure ReadErrorReply(const QDBusMessage& reply) {
    RemoteFailure f;
    const QString name = reply.errorName();
    f.description = reply.errorMessage();
    const qsizetype source = f.description.lastIndexOf(kSourceOpen);
    if (source >= 0 && f.description.endsWith(u')')) {
        f.source = f.description.mid(source + kSourceOpen.size()).chopped(1);
        f.description.truncate(source);
    }
    const bool raised = name.startsWith(kExceptionName + u'.');
    if (raised || name.startsWith(kErrorName + u'.')) {
        f.raised = raised;
        f.hr = E_FAIL;
        const QStringList elements = name.mid((raised ? kExceptionName : kErrorName).size() + 1).split(u'.');
        for (const QString& element : elements) {
            bool ok = false;
            if (element.startsWith(u'E')) {
                const quint32 code = element.mid(1).toUInt(&ok, 16);
                if (ok && FAILED(static_cast<HRESULT>(code))) f.hr = static_cast<HRESULT>(code);
            } else if (element.startsWith(u'A')) {
                const quint32 position = element.mid(1).toUInt(&ok);
                if (ok) f.argument = position;
            }
        }
        return f;
    }
    f.hr = RPC_E_SERVERFAULT;
    for (const BusError& e : kBusErrors)
        if (name == QLatin1String(e.name)) f.hr = e.hr;
    if (f.description.isEmpty()) f.description = DefaultText(f.hr);
    return f;
}

} // namespace zyn::remoting

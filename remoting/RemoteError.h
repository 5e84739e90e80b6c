#pragma once
// Failures on the bus: how a server puts an HRESULT with its description and source into an error
// reply, and how a client reads any error reply (its own protocol's or the bus's) back into one.

#include "com/hresult.h"

#include <QDBusMessage>
#include <QString>

namespace zyn::remoting {

struct RemoteFailure {
    HRESULT hr = E_FAIL;
    QString description;
    QString source;
    quint32 argument = 0; // position of a bad argument, counted from the last (0 also for none)
    bool raised = false;  // the member raised it (EXCEPINFO), rather than the call failing
};

// The error reply to `call`. `dbusName` overrides the protocol's own error name with a standard
// one (org.freedesktop.DBus.Error.UnknownObject, …) for tools that know only those.
QDBusMessage MakeErrorReply(const QDBusMessage& call, const RemoteFailure& failure,
                            const QString& dbusName = QString());

// What an error reply means to a caller. Errors of the bus itself (no such name, no reply, the
// connection gone) map to the HRESULTs a caller of a vanished server expects.
RemoteFailure ReadErrorReply(const QDBusMessage& reply);

} // namespace zyn::remoting

#pragma once
// VARIANTs on the bus: how a value crosses in a D-Bus message and how a received argument becomes
// a VARIANT again (see AutomationProtocol.h for the mapping). Both sides use it; what an object
// reference means is left to the side (IObjectReferences).

#include "com/dispatch.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QVariant>

namespace zyn::remoting {

// Why a value could not cross; becomes the error the caller sees.
struct WireError {
    HRESULT hr = DISP_E_TYPEMISMATCH;
    QString description;
};

// How object references cross on this side of the bus.
class IObjectReferences {
public:
    // The path under which `object` is handed to the peer (one reference counted for it); "/"
    // for null.
    virtual bool ExportObject(IUnknown* object, QDBusObjectPath* out, WireError* error) = 0;
    // The object a path received from the peer stands for, with a reference added; null for "/".
    virtual bool ImportObject(const QDBusObjectPath& path, IDispatch** out, WireError* error) = 0;

protected:
    ~IObjectReferences() = default;
};

// What D-Bus has no type for, as the struct (q vartype, v payload).
struct TaggedValue {
    quint16 vt = 0;
    QDBusVariant payload;
};

// Registers TaggedValue with QtDBus; called once before any marshalling (idempotent).
void RegisterWireTypes();

// A VARIANT as the content of a D-Bus variant.
bool VariantToWire(const VARIANT& value, IObjectReferences& refs, QVariant* out, WireError* error);
// A VARIANT as a value of the declared type of a member's parameter or result (the signature
// SignatureOf(declared) gives); VT_VARIANT wraps VariantToWire in a D-Bus variant.
bool VariantToTyped(const VARIANT& value, VARTYPE declared, IObjectReferences& refs, QVariant* out,
                    WireError* error);
// A received argument (as QtDBus hands it over) as a VARIANT; `out` is initialised here.
bool WireToVariant(const QVariant& in, IObjectReferences& refs, VARIANT* out, WireError* error);

// The D-Bus signature of a declared type; empty for one that cannot cross.
QString SignatureOf(VARTYPE vt);

// Reads the array a received argument is at: QtDBus's reader of its elements is let go when the
// scope ends, however the reading ended (a reader left open is never freed).
class CArrayScope {
public:
    explicit CArrayScope(const QDBusArgument& arg) : m_arg(arg) { m_arg.beginArray(); }
    ~CArrayScope() { m_arg.endArray(); }
    CArrayScope(const CArrayScope&) = delete;
    CArrayScope& operator=(const CArrayScope&) = delete;

private:
    const QDBusArgument& m_arg;
};

} // namespace zyn::remoting

Q_DECLARE_METATYPE(zyn::remoting::TaggedValue)

QDBusArgument& operator<<(QDBusArgument& arg, const zyn::remoting::TaggedValue& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, zyn::remoting::TaggedValue& value);

#include "CDispatchProxy.h"

#include "CAutomationClient.h"

#include "remoting/AutomationProtocol.h"
#include "remoting/TypeDescription.h"

#include "com/errorinfo.h"

namespace zyn::remoting {
namespace {

std::u16string Text(const QString& s) {
    return s.toStdU16String();
}

BSTR ToBstr(const QString& s) {
    return zyn::com::AllocBstr(Text(s));
}

} // namespace

CDispatchProxy::CDispatchProxy(CAutomationClient& client, QString server, QString path)
    : m_client(client), m_server(std::move(server)), m_path(std::move(path)) {}

CDispatchProxy::~CDispatchProxy() {
    m_client.Forget(m_server, m_path, this);
    const quint32 held = m_remoteRefs.load(std::memory_order_relaxed);
    if (held > 0) m_client.SendRelease(m_server, m_path, held);
}

std::shared_ptr<const CTypeDescription> CDispatchProxy::Type() {
    std::call_once(m_typeOnce, [this] { m_type = m_client.TypeOf(m_server, m_path); });
    return m_type;
}

HRESULT CDispatchProxy::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = Type() ? 1 : 0;
    return S_OK;
}

HRESULT CDispatchProxy::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    const auto type = Type();
    if (!type) return TYPE_E_ELEMENTNOTFOUND;
    // The description is cached for the life of the process, so the table outlives the type info.
    return zyn::com::CreateTableTypeInfo(type->Table(), nullptr, out);
}

HRESULT CDispatchProxy::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    const auto type = Type();
    if (!type) {
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    return zyn::com::DispGetIDsOfNames(type->Table(), names, count, ids);
}

HRESULT CDispatchProxy::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* argErr) {
    if (!params) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    if (params->cNamedArgs > 0) {
        const bool putValue = params->cNamedArgs == 1 && put && params->rgdispidNamedArgs &&
                              params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (!putValue) return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs > UINT(kMaxArguments)) return DISP_E_BADPARAMCOUNT;

    CClientReferences refs(m_client, m_server);
    QVariantList args;
    for (UINT i = 0; i < params->cArgs; ++i) {
        // Arguments arrive last-to-first; a put's value (the named one) is the last on the bus.
        const UINT slot = params->cArgs - 1 - i;
        QVariant wire;
        WireError error;
        if (!VariantToWire(params->rgvarg[slot], refs, &wire, &error)) {
            if (argErr) *argErr = slot;
            zyn::com::RaiseError(error.hr, Text(error.description));
            return error.hr;
        }
        args << wire;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_server, m_path, kDispatchInterface, QStringLiteral("Invoke"));
    call.setArguments({static_cast<int>(id), static_cast<int>(flags), QVariant::fromValue(args)});
    QDBusMessage reply;
    RemoteFailure failure;
    if (!m_client.Call(call, &reply, &failure)) {
        if (!failure.raised) {
            if (argErr) *argErr = failure.argument;
            return failure.hr;
        }
        // As a member of this process fails: the error object, and EXCEPINFO when asked for.
        zyn::com::RaiseError(failure.hr, Text(failure.description), Text(failure.source));
        if (!excep) return failure.hr;
        *excep = EXCEPINFO{};
        excep->scode = failure.hr;
        excep->bstrDescription = ToBstr(failure.description);
        excep->bstrSource = ToBstr(failure.source);
        return DISP_E_EXCEPTION;
    }
    VARIANT value;
    WireError error;
    if (reply.arguments().size() != 1 || !WireToVariant(reply.arguments()[0], refs, &value, &error)) {
        if (reply.arguments().size() != 1)
            error = {RPC_E_SERVERFAULT, QStringLiteral("The server answered out of protocol")};
        zyn::com::RaiseError(error.hr, Text(error.description));
        return error.hr;
    }
    if (result) {
        VariantClear(result);
        *result = value;
    } else {
        VariantClear(&value);
    }
    return S_OK;
}

bool CClientReferences::ExportObject(IUnknown* object, QDBusObjectPath* out, WireError* error) {
    if (!object) {
        *out = QDBusObjectPath(QStringLiteral("/"));
        return true;
    }
    CComPtr<IRemoteObject> remote;
    if (FAILED(object->QueryInterface(IRemoteObject::kIID, reinterpret_cast<void**>(&remote))) || !remote) {
        if (error)
            *error = {DISP_E_TYPEMISMATCH,
                      QStringLiteral("An object of this process cannot be passed to another one")};
        return false;
    }
    if (remote->Server() != m_server) {
        if (error)
            *error = {DISP_E_TYPEMISMATCH,
                      QStringLiteral("An object can only go back to the process it came from")};
        return false;
    }
    *out = QDBusObjectPath(remote->Path());
    return true;
}

bool CClientReferences::ImportObject(const QDBusObjectPath& path, IDispatch** out, WireError*) {
    *out = nullptr;
    if (path.path() == u"/") return true;
    *out = m_client.Receive(m_server, path.path()).Detach();
    return true;
}

} // namespace zyn::remoting

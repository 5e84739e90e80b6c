#pragma once
// CDispatchProxy: an object of another process as an IDispatch of this one. Calls go over the bus
// as Invoke; names and type information come from the server's type description, read once per
// interface. The proxy holds the references its server handed out for this object and gives them
// back when its last local reference goes.

#include "remoting/VariantWire.h"

#include "com/dispatch.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace zyn::remoting {

class CAutomationClient;
class CTypeDescription;

// Answered only by proxies: where the object lives, so that it can be passed back to its server.
struct IRemoteObject : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("5E7B3C2A-1D4F-4E8B-A6C9-3B2D1F0E9A84");
    virtual const QString& Server() const = 0;
    virtual const QString& Path() const = 0;

protected:
    ~IRemoteObject() = default;
};

class CDispatchProxy final : public zyn::com::ComRefCount, public IDispatch, public IRemoteObject {
public:
    CDispatchProxy(CAutomationClient& client, QString server, QString path);
    ~CDispatchProxy() override;
    ZYN_COM_IUNKNOWN(CDispatchProxy, IDispatch, IRemoteObject)

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override;

    const QString& Server() const override { return m_server; }
    const QString& Path() const override { return m_path; }

    // One more reference handed out by the server for this object.
    void AddRemoteReference() { m_remoteRefs.fetch_add(1, std::memory_order_relaxed); }

private:
    std::shared_ptr<const CTypeDescription> Type();

    CAutomationClient& m_client;
    const QString m_server;
    const QString m_path;
    std::atomic<quint32> m_remoteRefs{1};
    std::once_flag m_typeOnce;
    std::shared_ptr<const CTypeDescription> m_type;
};

// Object references as a client passes and receives them: proxies of the same server go back as
// their paths, received paths become proxies.
class CClientReferences final : public IObjectReferences {
public:
    CClientReferences(CAutomationClient& client, QString server)
        : m_client(client), m_server(std::move(server)) {}
    bool ExportObject(IUnknown* object, QDBusObjectPath* out, WireError* error) override;
    bool ImportObject(const QDBusObjectPath& path, IDispatch** out, WireError* error) override;

private:
    CAutomationClient& m_client;
    QString m_server;
};

} // namespace zyn::remoting

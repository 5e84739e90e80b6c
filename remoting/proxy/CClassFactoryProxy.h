#pragma once
// CClassFactoryProxy: the class object of a class served by a program of its own. Making an
// object asks whichever process owns the class's bus name (its endpoint); when none does, the
// registered program is started and waited for. A server that has already made the one object it
// makes per process (a single-use class) answers that it is stopping, and the next server is
// waited for instead.

#include "com/classregistry.h"

#include <QString>

namespace zyn::remoting {

class CAutomationClient;

class CClassFactoryProxy final : public zyn::com::ComRefCount, public IClassFactory {
public:
    CClassFactoryProxy(CAutomationClient& client, const CLSID& clsid, QString commandLine, QString endpoint);
    ZYN_COM_IUNKNOWN(CClassFactoryProxy, IClassFactory)

    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT LockServer(BOOL) override { return S_OK; }

    // How long a start may take before the caller gets an error (ZYN_AUTOMATION_START_TIMEOUT_MS
    // overrides the 30 s).
    static int StartTimeoutMs();

private:
    HRESULT Fail(HRESULT hr, const QString& description) const;
    QString Owner() const;
    bool Start(QString* error) const;

    CAutomationClient& m_client;
    CLSID m_clsid;
    QString m_commandLine;
    QString m_endpoint;
};

// The class object of the IDispatch proxy library: what the class registry asks for a class
// registered with LocalServer32.
class CLocalServerActivator final : public zyn::com::ComRefCount, public ILocalServerActivator {
public:
    ZYN_COM_IUNKNOWN(CLocalServerActivator, ILocalServerActivator)
    HRESULT GetClassObject(REFCLSID clsid, LPCOLESTR commandLine, LPCOLESTR endpoint, REFIID iid,
                           void** out) override;
};

} // namespace zyn::remoting

#pragma once
// The C++ side of one wrapped automation object: bridge.js's Proxy traps call these members to
// look a name up, read, write and call. Owned by the script engine (it dies when the wrapper is
// collected), it holds one reference to the object until then or until the bridge lets go.

#include "interfaceinfo.h"

#include "com/dispatch.h"

#include <QJSValue>
#include <QObject>

#include <memory>

namespace zyn::script {

class CDispatchBridge;

class CDispatchHandle final : public QObject {
    Q_OBJECT
public:
    CDispatchHandle(CDispatchBridge* bridge, IDispatch* disp, std::shared_ptr<CInterfaceInfo> info);
    ~CDispatchHandle() override;

    IDispatch* Dispatch() const { return m_disp.p; }
    // Drops the object and forgets the bridge (the bridge is going away).
    void Release();

    // [kind, dispatch id] of a member name (kind 0: no such member).
    Q_INVOKABLE QJSValue resolve(const QString& name);
    // Calls with flags DISPATCH_METHOD|DISPATCH_PROPERTYGET (3) or DISPATCH_PROPERTYGET (2).
    Q_INVOKABLE QJSValue invoke0(int id, int flags);
    Q_INVOKABLE QJSValue invoke1(int id, int flags, const QJSValue& a);
    Q_INVOKABLE QJSValue invoke2(int id, int flags, const QJSValue& a, const QJSValue& b);
    Q_INVOKABLE QJSValue invoke(int id, int flags, const QJSValue& args);
    Q_INVOKABLE void put(int id, const QJSValue& value);
    // A member the type information does not describe: its value when it can be read without
    // arguments, else the bridge's call marker (the script then gets a function).
    Q_INVOKABLE QJSValue getDynamic(int id);
    // Raises the unknown-name error.
    Q_INVOKABLE QJSValue unknown(const QString& name);

private:
    QJSValue Invoke(DISPID id, WORD flags, const QJSValue* args, std::size_t count);
    bool CheckUsable();
    bool CheckFlags(int flags);
    QString Source() const;

    CDispatchBridge* m_bridge;
    CComPtr<IDispatch> m_disp;
    std::shared_ptr<CInterfaceInfo> m_info;
};

} // namespace zyn::script

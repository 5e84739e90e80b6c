#pragma once
// The names and limits of the automation protocol on D-Bus, shared by the server side (which
// exports IDispatch objects) and the client side (which turns them back into IDispatch proxies).
//
// Every exported object answers, besides the standard Introspectable, Properties and Peer:
//   com.zynthar.Automation.Dispatch
//     Invoke(i dispid, i flags, av args) -> (v result)   args first to last; flags DISPATCH_*
//     GetTypeInfo() -> (s name, s iid, s help, a(iyssa(sqy)) members)
//                                           member: (id, kind, name, help, [(name, vartype, flags)])
//     Release(u count)                      gives back references the caller was handed
//   <prefix>.<interface name>               one method per member function and one property per
//                                           parameterless property, typed from the type information
// and a server's root path answers com.zynthar.Automation.ClassFactory.CreateInstance(s clsid) -> o.
//
// Values travel with their natural D-Bus types; what D-Bus has no type for (empty, null, dates,
// error codes, currency) travels as the struct (q vartype, v payload). Object references are
// object paths ("/" is the null object); every object path a peer receives is one reference it
// gives back with Release, or that the server drops when the peer leaves the bus.
//
// Failures are error replies with one string, as every D-Bus tool reads them: the description,
// followed by " (source: <class>)" when a class raised it. The name carries the rest:
// com.zynthar.Automation.Exception.E<HRESULT in hex> when the member raised the error (what
// EXCEPINFO carries); com.zynthar.Automation.Error.E<HRESULT>[.A<n>] when the call could not be
// made, n being the position of a bad argument counted from the last, as DISPPARAMS counts.
// Failures the bus's standard errors name exactly (no such object, method or property, wrong
// arguments) carry those names instead.

#include <QLatin1String>

namespace zyn::remoting {

inline constexpr QLatin1String kDispatchInterface("com.zynthar.Automation.Dispatch");
inline constexpr QLatin1String kClassFactoryInterface("com.zynthar.Automation.ClassFactory");
inline constexpr QLatin1String kErrorName("com.zynthar.Automation.Error");
inline constexpr QLatin1String kExceptionName("com.zynthar.Automation.Exception");

inline constexpr QLatin1String kIntrospectableInterface("org.freedesktop.DBus.Introspectable");
inline constexpr QLatin1String kPropertiesInterface("org.freedesktop.DBus.Properties");
inline constexpr QLatin1String kPeerInterface("org.freedesktop.DBus.Peer");

// Bounds on what a peer may send; larger values are refused before they are copied further.
inline constexpr int kMaxNesting = 16;
inline constexpr qsizetype kMaxArrayElements = qsizetype{1} << 24;
inline constexpr qsizetype kMaxStringChars = qsizetype{1} << 24;
inline constexpr qsizetype kMaxBytes = qsizetype{1} << 26;
inline constexpr int kMaxArguments = 64;

} // namespace zyn::remoting

#pragma once
// CAutomationServer: the program as a local automation server on the D-Bus session bus.
//
// It exports the class object of "Tallon.Application" (CreateInstance at /com/zynthar/Tallon), an
// application object at /com/zynthar/Tallon/Application for tools that call without holding
// anything, and every object those hand out (see remoting/CDispatchExporter.h).
//
// Bus names: every instance owns com.zynthar.Tallon.Instance<pid>. The class is offered under
// com.zynthar.Tallon, which clients ask for a new application object. With setting 140 at 0 the
// class object serves every client: the first program keeps the name for its life and every
// script talks to it. Otherwise it serves one: the program gives the name up right after its
// first object, so that the next client finds it free (or taken by the next program waiting for
// it) and gets a program of its own; objects are then reached through the instance's own
// connection.
//
// Lifetime: a program started for automation ends when it holds no application lock (no window,
// no application object of a client), no client holds any of its objects, and the user has not
// taken control; also when its bus goes away, or when nobody used it within a while after it
// started.

#include "AutomationHost.h"

#include "com/classregistry.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <memory>

class CAppContext;

namespace zyn::remoting {
class CDispatchExporter;
}

class CAutomationServer : public QObject {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "com.zynthar.Tallon";
    static constexpr char kRootPath[] = "/com/zynthar/Tallon";
    static constexpr char kInterfacePrefix[] = "com.zynthar.Tallon.";
    static constexpr int kIdleLimitMs = 15000;

    CAutomationServer(CAppContext& context, IAutomationHost& host, QObject* parent = nullptr);
    ~CAutomationServer() override;

    // Offers the class on the session bus. False when there is no session bus: the program then
    // runs without its server.
    bool Start(bool startedForAutomation);
    // Whether this process offers the class (or waits in line for the name, with single-use).
    bool OffersClass() const { return m_offersClass; }
    QString InstanceName() const;

    // The user took over (made or opened a window): the program no longer ends with its last
    // automation reference.
    void SetUserControl(bool control);
    bool UserControl() const { return m_userControl; }
    // Whether a client holds any object of the program.
    bool HasClients() const;
    // The user closed the program while clients hold objects of it: from now on it ends with the
    // last of them, as a program started for automation does.
    void HandOver();

    // The entries that let clients create "Tallon.Application" (written at a normal start and by
    // /Register), and their removal (/Unregister).
    static bool RegisterClasses();
    static void UnregisterClasses();

    zyn::remoting::CDispatchExporter* Exporter() const { return m_exporter; }

private:
    void CheckLifetime();
    void ClassObjectUsed();

    CAppContext& m_context;
    IAutomationHost& m_host;
    QDBusConnection m_bus;
    zyn::remoting::CDispatchExporter* m_exporter = nullptr;
    CComPtr<IClassFactory> m_factory;
    DWORD m_classCookie = 0;
    bool m_automationStarted = false;
    bool m_userControl = false;
    bool m_offersClass = false;
    QTimer m_busWatch;
    QTimer m_idle;
};

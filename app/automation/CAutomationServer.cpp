#include "CAutomationServer.h"

#include "CCoApp.h"

#include "document/AppContext.h"
#include "document/NumberedSettings.h"
#include "remoting/CDispatchExporter.h"

#include "com/classregistry.h"
#include "com/errorinfo.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QFileInfo>

#include <functional>

namespace {

constexpr int kBusWatchMs = 2000;

// The class object of "Tallon.Application". A single-use one makes one application object and
// then answers that this server is stopping, so that the client waits for the next server.
class CCoAppFactory final : public zyn::com::ComRefCount, public IClassFactory {
public:
    CCoAppFactory(CAppContext& context, IAutomationHost& host, bool singleUse, std::function<void()> used)
        : m_context(context), m_host(host), m_singleUse(singleUse), m_used(std::move(used)) {}
    ZYN_COM_IUNKNOWN(CCoAppFactory, IClassFactory)

    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (m_singleUse && m_made > 0)
            return zyn::com::RaiseError(CO_E_SERVER_STOPPING,
                                        u"This program serves one automation client; the next gets its own",
                                        u"Tallon.Application");
        CComPtr<CCoApp> app(new CCoApp(m_context, m_host));
        const HRESULT hr = app->QueryInterface(iid, out);
        if (SUCCEEDED(hr) && ++m_made == 1 && m_singleUse && m_used) m_used();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    CAppContext& m_context;
    IAutomationHost& m_host;
    bool m_singleUse;
    std::function<void()> m_used;
    int m_made = 0;
};

std::u16string ProgramCommandLine() {
    return (u'"' + QCoreApplication::applicationFilePath() + QStringLiteral("\" /Automation"))
        .toStdU16String();
}

std::string ProxyLibraryPath() {
    return zyn::com::OwnLibraryFile("libZynAutomationProxy.so");
}

} // namespace

CAutomationServer::CAutomationServer(CAppContext& context, IAutomationHost& host, QObject* parent)
    : QObject(parent), m_context(context), m_host(host), m_bus(QDBusConnection::sessionBus()) {
    m_busWatch.setInterval(kBusWatchMs);
    connect(&m_busWatch, &QTimer::timeout, this, [this] {
        // A program started for a bus that has gone has nobody left to serve.
        if (!m_bus.isConnected() && m_automationStarted) m_host.Quit();
    });
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleLimitMs);
    connect(&m_idle, &QTimer::timeout, this, &CAutomationServer::CheckLifetime);
}

CAutomationServer::~CAutomationServer() {
    m_context.whenUnlocked = nullptr;
    if (m_classCookie) CoRevokeClassObject(m_classCookie);
    delete m_exporter;
    if (m_bus.isConnected()) {
        m_bus.interface()->unregisterService(QString::fromLatin1(kClassName));
        m_bus.interface()->unregisterService(InstanceName());
    }
}

QString CAutomationServer::InstanceName() const {
    return QString::fromLatin1(kClassName) +
           QStringLiteral(".Instance%1").arg(QCoreApplication::applicationPid());
}

bool CAutomationServer::Start(bool startedForAutomation) {
    m_automationStarted = startedForAutomation;
    m_userControl = !startedForAutomation;
    if (!m_bus.isConnected()) return false;
    const bool singleUse = m_context.Settings().Get(CNumberedSettings::kMultipleAutomation) != 0;

    m_exporter = new zyn::remoting::CDispatchExporter(m_bus, QString::fromLatin1(kRootPath),
                                                      QString::fromLatin1(kInterfacePrefix), this);
    if (!m_exporter->Register()) return false;
    m_factory = new CCoAppFactory(m_context, m_host, singleUse, [this] { ClassObjectUsed(); });
    m_exporter->AddClassObject(CLSID_TallonApplication, m_factory);
    CoRegisterClassObject(CLSID_TallonApplication, m_factory, CLSCTX_LOCAL_SERVER,
                          singleUse ? REGCLS_SINGLEUSE : REGCLS_MULTIPLEUSE, &m_classCookie);
    CComPtr<IDispatch> tools(static_cast<ICoApp*>(new CCoApp(m_context, m_host, false)));
    m_exporter->Publish(QStringLiteral("Application"), tools);

    QDBusConnectionInterface* bus = m_bus.interface();
    bus->registerService(InstanceName());
    // Single-use programs wait in line for the class name; the others give way to the one that
    // has it.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus->registerService(
        QString::fromLatin1(kClassName),
        singleUse ? QDBusConnectionInterface::QueueService : QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    m_offersClass = reply.isValid() && reply.value() != QDBusConnectionInterface::ServiceNotRegistered;

    m_context.whenUnlocked = [this] {
        QMetaObject::invokeMethod(this, &CAutomationServer::CheckLifetime, Qt::QueuedConnection);
    };
    connect(m_exporter, &zyn::remoting::CDispatchExporter::ReferencesReleased, this,
            &CAutomationServer::CheckLifetime, Qt::QueuedConnection);
    m_busWatch.start();
    if (m_automationStarted) m_idle.start();
    return true;
}

void CAutomationServer::ClassObjectUsed() {
    // The name goes to the next program in line, or to the next one a client starts.
    m_bus.interface()->asyncCall(QStringLiteral("ReleaseName"), QString::fromLatin1(kClassName));
}

void CAutomationServer::SetUserControl(bool control) {
    m_userControl = control;
}

bool CAutomationServer::HasClients() const {
    return m_exporter && m_exporter->PeerCount() > 0;
}

void CAutomationServer::HandOver() {
    m_automationStarted = true;
    m_userControl = false;
    QMetaObject::invokeMethod(this, &CAutomationServer::CheckLifetime, Qt::QueuedConnection);
}

void CAutomationServer::CheckLifetime() {
    if (!m_automationStarted || m_userControl || m_context.AppLocks() > 0) return;
    // A client may hold objects without a lock (a chart whose window went, the application object
    // of the fixed path): the program stays while it does.
    if (m_exporter && m_exporter->PeerCount() > 0) return;
    m_host.Quit();
}

bool CAutomationServer::RegisterClasses() {
    const bool ok = SUCCEEDED(
        zyn::com::RegisterLocalServer({CLSID_TallonApplication, u"Tallon.Application", u"Tallon Application",
                                       ProgramCommandLine(), u"com.zynthar.Tallon"}));
    return SUCCEEDED(zyn::com::RegisterDispatchProxy(ProxyLibraryPath())) && ok;
}

void CAutomationServer::UnregisterClasses() {
    zyn::com::UnregisterLocalServer(CLSID_TallonApplication, u"Tallon.Application");
    zyn::com::UnregisterDispatchProxy();
}

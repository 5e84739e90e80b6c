// Automation objects across the session bus, without the program: the object library's objects
// exported from a server thread with its own connection, reached from this thread through the class
// registry and the registered IDispatch proxy, and raw D-Bus messages of every malformed kind.
// Runs under a private bus (dbus-run-session).

#include "remoting/AutomationProtocol.h"
#include "remoting/CDispatchExporter.h"
#include "remoting/RemoteError.h"
#include "remoting/proxy/CAutomationClient.h"
#include "remoting/proxy/CDispatchProxy.h"

#include "objlib/ZynInterfaces.h"

#include "com/ccombstr.h"
#include "com/classregistry.h"
#include "com/errorinfo.h"
#include "testing/TempSettingsStore.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#ifndef ZYN_PROXY_MODULE
#error "the build names the proxy module"
#endif
#ifndef ZYN_OBJECT_LIBRARY
#error "the build names the object library"
#endif

namespace {

using zyn::remoting::CDispatchExporter;

const QString kServerName = QStringLiteral("com.zynthar.Test");
const QString kRoot = QStringLiteral("/com/zynthar/Test");
const QString kPrefix = QStringLiteral("com.zynthar.Test.");

// An object that hands back what it is given: what a value looks like after two trips.
HRESULT EchoThunk(void*, VARIANT* args, VARIANT* result) {
    return VariantCopy(result, &args[0]);
}
HRESULT KindThunk(void*, VARIANT* args, VARIANT* result) {
    result->vt = VT_I4;
    result->lVal = args[0].vt;
    return S_OK;
}
constexpr zyn::com::DispParam kEchoParams[] = {
    {u"value", VT_VARIANT, zyn::com::kParamIn, 0},
    {u"result", VT_VARIANT, zyn::com::kParamOut | zyn::com::kParamRetval, 0}};
constexpr zyn::com::DispParam kKindParams[] = {
    {u"value", VT_VARIANT, zyn::com::kParamIn, 0},
    {u"result", VT_I4, zyn::com::kParamOut | zyn::com::kParamRetval, 0}};
constexpr zyn::com::DispMember kEchoMembers[] = {
    {1, zyn::com::MemberKind::Func, u"Echo", u"Hands the value back", kEchoParams, &EchoThunk},
    {2, zyn::com::MemberKind::Func, u"Kind", u"The value's type", kKindParams, &KindThunk}};
constexpr IID kEchoIid = zyn::com::MakeGuid("0C9A1E52-7D3B-4F61-8E2A-5B4C3D2E1F70");
const zyn::com::DispInterface kEchoTable{u"IEcho", &kEchoIid, u"Echo", kEchoMembers};

class CEcho final : public zyn::com::ComRefCount, public IDispatch {
public:
    ZYN_COM_IUNKNOWN(CEcho, IDispatch)
    HRESULT GetTypeInfoCount(UINT* n) override {
        *n = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        return zyn::com::CreateTableTypeInfo(kEchoTable, nullptr, out);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return zyn::com::DispGetIDsOfNames(kEchoTable, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* r, EXCEPINFO* e,
                   UINT* a) override {
        return zyn::com::DispInvoke(kEchoTable, this, id, flags, p, r, e, a);
    }
};

// The server: an exporter on a connection of its own, in a thread of its own, as a separate
// process would be. The test hands it work through a queue under a lock of its own rather than
// through Qt's posted events, whose lock inside Qt Core the thread sanitizer cannot see.
class Server {
public:
    Server() : m_thread([this] { Serve(); }) {
        Run([this] {
            m_bus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test-server")));
            m_exporter = new CDispatchExporter(*m_bus, kRoot, kPrefix);
            m_exporter->Register();
            CComPtr<IClassFactory> factory;
            CoGetClassObject(CLSID_ZynObjFactory, CLSCTX_INPROC_SERVER, nullptr, IClassFactory::kIID,
                             reinterpret_cast<void**>(&factory));
            m_exporter->AddClassObject(CLSID_ZynObjFactory, factory);
            CComPtr<IDispatch> echo(new CEcho());
            m_exporter->Publish(QStringLiteral("Echo"), echo);
            m_bus->interface()->registerService(kServerName);
            m_unique = m_bus->baseService();
        });
    }
    ~Server() {
        Run([this] {
            delete m_exporter;
            m_bus.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("test-server"));
        });
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    // Runs `f` on the server's thread and waits for it.
    void Run(const std::function<void()>& f) {
        bool done = false;
        {
            const std::lock_guard lock(m_mutex);
            m_tasks.emplace_back([&] {
                f();
                const std::lock_guard doneLock(m_mutex);
                done = true;
                m_done.notify_all();
            });
        }
        m_wake.notify_one();
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return done; });
    }
    int Exported() {
        int n = 0;
        Run([&] { n = m_exporter->ExportedCount(); });
        return n;
    }
    quint32 References(const QString& peer, const QString& path) {
        quint32 n = 0;
        Run([&] { n = m_exporter->References(peer, path); });
        return n;
    }
    // Waits (a bounded while) for the exporter to reach `count` exported objects.
    bool WaitForExported(int count) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000) {
            if (Exported() == count) return true;
            QThread::msleep(10);
        }
        return false;
    }
    const QString& Unique() const { return m_unique; }

private:
    // The thread's loop: the exporter's D-Bus calls arrive as Qt events, the test's work through the
    // queue; a short wait between rounds keeps both moving.
    void Serve() {
        QEventLoop events;
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            while (!m_tasks.empty()) {
                const std::function<void()> task = std::move(m_tasks.front());
                m_tasks.pop_front();
                lock.unlock();
                task();
                lock.lock();
            }
            lock.unlock();
            events.processEvents(QEventLoop::AllEvents);
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(2), [&] { return m_stop || !m_tasks.empty(); });
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<std::function<void()>> m_tasks;
    bool m_stop = false;
    std::unique_ptr<QDBusConnection> m_bus;
    CDispatchExporter* m_exporter = nullptr;
    QString m_unique;
    std::thread m_thread; // last: it starts serving once the rest is made
};

DISPID IdOf(IDispatch* d, const char16_t* name) {
    std::u16string n(name);
    LPOLESTR names[] = {n.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK)
        << "no member " << QString::fromUtf16(name).toStdString();
    return id;
}

struct CallResult {
    HRESULT hr = S_OK;
    CComVariant value;
    std::string description;
    std::string source;
    UINT argErr = 0;
};

// A late-bound call as a script host makes it; `args` first to last.
CallResult Call(IDispatch* d, const char16_t* name, WORD flags, std::vector<CComVariant> args = {}) {
    CallResult out;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), isPut ? &put : nullptr,
                      UINT(reversed.size()), isPut ? 1u : 0u};
    EXCEPINFO excep{};
    out.hr = d->Invoke(IdOf(d, name), GUID_NULL, 0, flags, &params, &out.value, &excep, &out.argErr);
    out.description = CComBSTR(excep.bstrDescription).ToUtf8();
    out.source = CComBSTR(excep.bstrSource).ToUtf8();
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    if (out.hr == DISP_E_EXCEPTION) out.hr = excep.scode;
    return out;
}

CComPtr<IDispatch> Object(const CallResult& r) {
    CComPtr<IDispatch> d;
    if (r.value.vt == VT_DISPATCH || r.value.vt == VT_UNKNOWN)
        r.value.punkVal->QueryInterface(IDispatch::kIID, reinterpret_cast<void**>(&d));
    return d;
}

// A raw message from the connection the proxies use (a peer reaches the objects it holds), or
// from `bus`.
QDBusMessage Raw(const QString& path, const QString& iface, const QString& member,
                 const QVariantList& args = {},
                 const QDBusConnection& bus = zyn::remoting::CAutomationClient::Instance().Bus()) {
    QDBusMessage m = QDBusMessage::createMethodCall(kServerName, path, iface, member);
    m.setArguments(args);
    // Generous: tens of megabytes cross the bus twice, and the machine may be loaded.
    return bus.call(m, QDBus::Block, 60000);
}

class Remoting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(zyn::com::CallServerExport(ZYN_OBJECT_LIBRARY, "DllRegisterServer"), S_OK);
        ASSERT_EQ(zyn::com::RegisterDispatchProxy(ZYN_PROXY_MODULE), S_OK);
        // The object factory is also served "from its own program": the running test server.
        ASSERT_EQ(
            zyn::com::RegisterLocalServer({CLSID_ZynObjFactory, u"ZynTest.RemoteFactory", u"Remote factory",
                                           u"/nonexistent/never-started", kServerName.toStdU16String()}),
            S_OK);
        m_server = std::make_unique<Server>();
        CComPtr<IDispatch> factory;
        ASSERT_EQ(CoCreateInstance(CLSID_ZynObjFactory, nullptr, CLSCTX_LOCAL_SERVER, IDispatch::kIID,
                                   reinterpret_cast<void**>(&factory)),
                  S_OK);
        m_factory = factory;
    }
    void TearDown() override {
        m_factory.Release();
        m_server.reset();
    }

    CComPtr<IDispatch> NewApp() { return Object(Call(m_factory, u"Create", DISPATCH_METHOD, {1, 0, 0})); }

    zyn::test::TempSettingsStore m_store;
    std::unique_ptr<Server> m_server;
    CComPtr<IDispatch> m_factory;
};

TEST_F(Remoting, ObjectsOfTheServerAreCalledByNameWithTheirValues) {
    CComPtr<IDispatch> app = NewApp();
    ASSERT_TRUE(app);
    CComPtr<IDispatch> chart = Object(Call(app, u"AddChart", DISPATCH_METHOD));
    ASSERT_TRUE(chart);
    EXPECT_EQ(CComBSTR(Call(chart, u"Name", DISPATCH_PROPERTYGET).value.bstrVal).ToUtf8(), "Chart-1");
    EXPECT_EQ(Call(chart, u"Rate", DISPATCH_PROPERTYPUT, {500}).hr, S_OK);
    EXPECT_EQ(Call(chart, u"Rate", DISPATCH_PROPERTYGET).value.lVal, 500);
    // A date keeps its type both ways.
    EXPECT_EQ(Call(chart, u"StartTime", DISPATCH_PROPERTYPUT, {CComVariant::Date(45000.25)}).hr, S_OK);
    const CallResult start = Call(chart, u"StartTime", DISPATCH_PROPERTYGET);
    EXPECT_EQ(start.value.vt, VT_DATE);
    EXPECT_DOUBLE_EQ(start.value.date, 45000.25);

    CComPtr<IDispatch> channel = Object(Call(chart, u"AddStaticChannel", DISPATCH_METHOD));
    ASSERT_TRUE(channel);
    EXPECT_EQ(Call(channel, u"AddValueRelTime", DISPATCH_METHOD, {1.5, 0}).value.lVal, 1);
    CComPtr<IDispatch> data = Object(Call(channel, u"Data", DISPATCH_PROPERTYGET));
    EXPECT_DOUBLE_EQ(Call(data, u"GetValueAt", DISPATCH_METHOD, {0}).value.dblVal, 1.5);

    // The saved chart is a byte array there and back.
    const CallResult saved = Call(chart, u"SaveChart", DISPATCH_METHOD);
    ASSERT_EQ(saved.value.vt, VT_ARRAY | VT_UI1);
    CComPtr<IDispatch> loaded = Object(Call(app, u"LoadChart", DISPATCH_METHOD, {saved.value}));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Call(loaded, u"ChannelCount", DISPATCH_PROPERTYGET).value.lVal, 1);
}

TEST_F(Remoting, FailuresCarryTheServersTextSourceAndNumber) {
    CComPtr<IDispatch> chart = Object(Call(NewApp(), u"AddChart", DISPATCH_METHOD));
    CComPtr<IDispatch> channel = Object(Call(chart, u"AddStaticChannel", DISPATCH_METHOD));
    const CallResult width = Call(channel, u"Width", DISPATCH_PROPERTYPUT, {9});
    EXPECT_EQ(width.hr, E_INVALIDARG);
    EXPECT_EQ(width.description, "Line width must be between 0 and 8 inclusive");
    EXPECT_EQ(width.source, "ZynTallonObj.Channel.1");
    // The error object too, as after a call in this process.
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    CComBSTR text;
    info->GetDescription(&text);
    EXPECT_EQ(text.ToUtf8(), "Line width must be between 0 and 8 inclusive");

    // Failures of the call itself come back as plain HRESULTs, the bad argument named.
    EXPECT_EQ(Call(chart, u"AddChannel", DISPATCH_METHOD).hr, DISP_E_BADPARAMCOUNT);
    const CallResult mismatch = Call(channel, u"AddValueRelTime", DISPATCH_METHOD, {1.0, u"soon"});
    EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(mismatch.argErr, 0u);
    EXPECT_EQ(Call(chart, u"Identifier", DISPATCH_PROPERTYPUT, {u"x"}).hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(Remoting, ValuesKeepTheirTypesThroughTheBus) {
    CComPtr<IDispatch> echo =
        zyn::remoting::CAutomationClient::Instance().Receive(m_server->Unique(), kRoot + "/Echo");
    auto trip = [&](const CComVariant& v) { return Call(echo, u"Echo", DISPATCH_METHOD, {v}).value; };
    EXPECT_EQ(trip(CComVariant()).vt, VT_EMPTY);
    CComVariant null;
    null.vt = VT_NULL;
    EXPECT_EQ(trip(null).vt, VT_NULL);
    EXPECT_EQ(trip(CComVariant(-7)).lVal, -7);
    EXPECT_EQ(trip(CComVariant(2.5)).dblVal, 2.5);
    EXPECT_EQ(trip(CComVariant(true)).boolVal, VARIANT_TRUE);
    const std::u16string text = u"grün \u20ac \U0001F600";
    EXPECT_EQ(CComBSTR(trip(CComVariant(std::u16string_view(text))).bstrVal).View(), text);
    EXPECT_EQ(trip(CComVariant(u"")).vt, VT_BSTR);
    const CComVariant date = trip(CComVariant::Date(-1.5));
    EXPECT_EQ(date.vt, VT_DATE);
    EXPECT_EQ(date.date, -1.5);
    CComVariant code;
    code.vt = VT_ERROR;
    code.scode = E_ABORT; // (DISP_E_PARAMNOTFOUND would mean a left-out argument)
    const CComVariant codeBack = trip(code);
    EXPECT_EQ(codeBack.vt, VT_ERROR);
    EXPECT_EQ(codeBack.scode, E_ABORT);
    CComVariant big;
    big.vt = VT_I8;
    big.llVal = -(LONGLONG{1} << 40);
    EXPECT_EQ(trip(big).llVal, big.llVal);

    // Arrays: bytes stay bytes, a VARIANT array keeps each element's type, nested too.
    CComVariant bytes;
    bytes.vt = VT_ARRAY | VT_UI1;
    bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        BYTE b = BYTE(200 + i);
        SafeArrayPutElement(bytes.parray, &i, &b);
    }
    const CComVariant bytesBack = trip(bytes);
    ASSERT_EQ(bytesBack.vt, VT_ARRAY | VT_UI1);
    LONG i2 = 2;
    BYTE b2 = 0;
    SafeArrayGetElement(bytesBack.parray, &i2, &b2);
    EXPECT_EQ(b2, 202);

    CComVariant list;
    list.vt = VT_ARRAY | VT_VARIANT;
    list.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    CComVariant items[] = {CComVariant(1), CComVariant(u"two"), CComVariant::Date(3.0)};
    for (LONG i = 0; i < 3; ++i)
        SafeArrayPutElement(list.parray, &i, &items[i]);
    const CComVariant listBack = trip(list);
    ASSERT_EQ(listBack.vt, VT_ARRAY | VT_VARIANT);
    for (LONG i = 0; i < 3; ++i) {
        CComVariant item;
        SafeArrayGetElement(listBack.parray, &i, &item);
        EXPECT_EQ(item.vt, items[i].vt) << i;
    }

    // An object of the server goes back as itself.
    CComPtr<IDispatch> app = NewApp();
    const CComVariant appBack = trip(CComVariant(static_cast<IDispatch*>(app)));
    ASSERT_EQ(appBack.vt, VT_DISPATCH);
    EXPECT_EQ(appBack.pdispVal, app.p);
    // One of this process cannot go.
    CComPtr<IDispatch> local(new CEcho());
    EXPECT_EQ(Call(echo, u"Echo", DISPATCH_METHOD, {CComVariant(static_cast<IDispatch*>(local))}).hr,
              DISP_E_TYPEMISMATCH);
}

TEST_F(Remoting, ReferencesAreCountedPerPeerAndGivenBack) {
    const int before = m_server->Exported();
    CComPtr<IDispatch> app = NewApp();
    CComPtr<IDispatch> chart = Object(Call(app, u"AddChart", DISPATCH_METHOD));
    // The same object twice is the same proxy, holding both references.
    CComPtr<IDispatch> again = Object(Call(app, u"FindChart", DISPATCH_METHOD, {u"Chart-1"}));
    EXPECT_EQ(again.p, chart.p);
    CComPtr<zyn::remoting::IRemoteObject> remote;
    ASSERT_EQ(chart.QueryInterface(&remote), S_OK);
    const QString peer = zyn::remoting::CAutomationClient::Instance().Bus().baseService();
    EXPECT_EQ(m_server->References(peer, remote->Path()), 2u);
    remote.Release();
    again.Release();
    chart.Release();
    app.Release();
    EXPECT_TRUE(m_server->WaitForExported(before)) << "the released objects are let go";
}

TEST_F(Remoting, APeerThatLeavesTheBusLosesItsReferences) {
    const int before = m_server->Exported();
    {
        QDBusConnection peer =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaving"));
        QDBusMessage create = QDBusMessage::createMethodCall(
            kServerName, kRoot, zyn::remoting::kClassFactoryInterface, QStringLiteral("CreateInstance"));
        create.setArguments({QString::fromStdU16String(zyn::com::GuidToString(CLSID_ZynObjFactory))});
        const QDBusMessage reply = peer.call(create, QDBus::Block, 10000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(m_server->Exported(), before + 1);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
    EXPECT_TRUE(m_server->WaitForExported(before));
}

TEST_F(Remoting, TypedMembersPropertiesAndIntrospectionComeFromTheTypeInformation) {
    CComPtr<IDispatch> chart = Object(Call(NewApp(), u"AddChart", DISPATCH_METHOD));
    CComPtr<zyn::remoting::IRemoteObject> remote;
    ASSERT_EQ(chart.QueryInterface(&remote), S_OK);
    const QString path = remote->Path();
    EXPECT_TRUE(path.startsWith(kRoot + "/IZynChart/"));

    const QDBusMessage xml = Raw(path, zyn::remoting::kIntrospectableInterface, QStringLiteral("Introspect"));
    const QString text = xml.arguments().value(0).toString();
    EXPECT_TRUE(text.contains(QStringLiteral("<interface name=\"com.zynthar.Test.IZynChart\">")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("<method name=\"AddChannel\">\n      <arg name=\"i_CounterName\" "
                                     "type=\"s\" direction=\"in\"/>\n      <arg name=\"o_ppChannel\" "
                                     "type=\"o\" direction=\"out\"/>")));
    EXPECT_TRUE(text.contains(QStringLiteral("<property name=\"Rate\" type=\"i\" access=\"readwrite\">")));
    EXPECT_TRUE(text.contains(QStringLiteral("<property name=\"Identifier\" type=\"s\" access=\"read\">")));

    const QDBusMessage added = Raw(path, kPrefix + "IZynChart", QStringLiteral("AddStaticChannel"));
    ASSERT_EQ(added.type(), QDBusMessage::ReplyMessage) << added.errorMessage().toStdString();
    const QString channelPath = added.arguments().value(0).value<QDBusObjectPath>().path();
    EXPECT_TRUE(channelPath.startsWith(kRoot + "/IZynChannel/"));
    EXPECT_EQ(Call(chart, u"ChannelCount", DISPATCH_PROPERTYGET).value.lVal, 1);
    // A channel answers a later version of its interface; the bus keeps the first version's name
    // for it and shows the added members there.
    const QString channelXml =
        Raw(channelPath, zyn::remoting::kIntrospectableInterface, QStringLiteral("Introspect"))
            .arguments()
            .value(0)
            .toString();
    EXPECT_TRUE(channelXml.contains(QStringLiteral("<interface name=\"com.zynthar.Test.IZynChannel\">")));
    EXPECT_TRUE(channelXml.contains(QStringLiteral("<method name=\"AddValues\">")));
    EXPECT_TRUE(channelXml.contains(QStringLiteral("<method name=\"AddValueAbsTime\">")));
    EXPECT_FALSE(channelXml.contains(QStringLiteral("IZynChannel2")));

    const QDBusMessage set =
        Raw(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Set"),
            {kPrefix + "IZynChart", QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(700))});
    EXPECT_EQ(set.type(), QDBusMessage::ReplyMessage) << set.errorMessage().toStdString();
    const QDBusMessage get = Raw(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Get"),
                                 {kPrefix + "IZynChart", QStringLiteral("Rate")});
    EXPECT_EQ(get.arguments().value(0).value<QDBusVariant>().variant().toInt(), 700);
    const QDBusMessage all =
        Raw(path, zyn::remoting::kPropertiesInterface, QStringLiteral("GetAll"), {kPrefix + "IZynChart"});
    const QVariantMap values = qdbus_cast<QVariantMap>(all.arguments().value(0));
    EXPECT_EQ(values.value(QStringLiteral("Name")).toString(), QStringLiteral("Chart-1"));
    EXPECT_TRUE(values.contains(QStringLiteral("Rate")));
    EXPECT_FALSE(values.contains(QStringLiteral("Channels"))) << "object-valued properties are read with Get";
}

TEST_F(Remoting, MalformedCallsGetErrorsAndTheServerCarriesOn) {
    CComPtr<IDispatch> chart = Object(Call(NewApp(), u"AddChart", DISPATCH_METHOD));
    CComPtr<zyn::remoting::IRemoteObject> remote;
    ASSERT_EQ(chart.QueryInterface(&remote), S_OK);
    const QString path = remote->Path();
    const QString dispatch = zyn::remoting::kDispatchInterface;
    const QString typed = kPrefix + "IZynChart";
    auto hugeString = QString(qsizetype(17) * 1024 * 1024, u'x');
    // Deeper than the server takes, within what the bus carries.
    QVariantList deep = {1};
    for (int i = 0; i < 18; ++i)
        deep = {QVariant::fromValue(QDBusVariant(QVariant::fromValue(deep)))};
    QVariantMap dictionary{{QStringLiteral("a"), 1}};

    struct Case {
        const char* what;
        QDBusMessage reply;
        HRESULT hr;
    };
    const Case cases[] = {
        {"unknown path", Raw(kRoot + "/IZynChart/999999", typed, QStringLiteral("Clear")),
         CO_E_OBJNOTCONNECTED},
        {"another caller's object",
         Raw(path, typed, QStringLiteral("Clear"), {}, QDBusConnection::sessionBus()), CO_E_OBJNOTCONNECTED},
        {"another caller's object passed as an argument",
         Raw(kRoot + "/Echo", dispatch, QStringLiteral("Invoke"),
             {1, 1,
              QVariantList{QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(path))))}},
             QDBusConnection::sessionBus()),
         CO_E_OBJNOTCONNECTED},
        {"a folder of objects", Raw(kRoot + "/IZynChart", typed, QStringLiteral("Clear")),
         CO_E_OBJNOTCONNECTED},
        {"a path beside the server's",
         Raw(QStringLiteral("/com/zynthar/Other"), typed, QStringLiteral("Clear")), CO_E_OBJNOTCONNECTED},
        {"unknown member", Raw(path, typed, QStringLiteral("Explode")), DISP_E_MEMBERNOTFOUND},
        {"unknown interface", Raw(path, QStringLiteral("org.example.Nothing"), QStringLiteral("Clear")),
         DISP_E_MEMBERNOTFOUND},
        {"wrong typed signature", Raw(path, typed, QStringLiteral("AddChannel"), {42}), DISP_E_TYPEMISMATCH},
        {"too many typed arguments",
         Raw(path, typed, QStringLiteral("AddChannel"), {QStringLiteral("a"), QStringLiteral("b")}),
         DISP_E_TYPEMISMATCH},
        {"Invoke without arguments", Raw(path, dispatch, QStringLiteral("Invoke")), DISP_E_TYPEMISMATCH},
        {"Invoke of an unknown id", Raw(path, dispatch, QStringLiteral("Invoke"), {12345, 1, QVariantList{}}),
         DISP_E_MEMBERNOTFOUND},
        {"Invoke with unknown flags",
         Raw(path, dispatch, QStringLiteral("Invoke"), {0x60020006, 99, QVariantList{}}), E_INVALIDARG},
        {"Invoke with too many arguments",
         Raw(path, dispatch, QStringLiteral("Invoke"), {0x60020000, 1, QVariantList(65, QVariant(1))}),
         DISP_E_BADPARAMCOUNT},
        {"a huge string", Raw(path, typed, QStringLiteral("AddChannel"), {hugeString}), E_INVALIDARG},
        {"values nested too deeply", Raw(path, dispatch, QStringLiteral("Invoke"), {0x60020000, 1, deep}),
         E_INVALIDARG},
        {"a dictionary",
         Raw(path, dispatch, QStringLiteral("Invoke"), {0x60020000, 1, QVariantList{dictionary}}),
         DISP_E_BADVARTYPE},
        {"a forged object path argument",
         Raw(path, dispatch, QStringLiteral("Invoke"),
             {0x60020008, 1,
              QVariantList{QVariant::fromValue(QDBusObjectPath(kRoot + "/IZynChart/424242"))}}),
         CO_E_OBJNOTCONNECTED},
        {"unknown property",
         Raw(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Get"),
             {typed, QStringLiteral("Nope")}),
         DISP_E_MEMBERNOTFOUND},
        {"read-only property",
         Raw(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Set"),
             {typed, QStringLiteral("Identifier"), QVariant::fromValue(QDBusVariant(QStringLiteral("x")))}),
         DISP_E_MEMBERNOTFOUND},
        {"a property of the wrong type",
         Raw(path, zyn::remoting::kPropertiesInterface, QStringLiteral("Set"),
             {typed, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(QStringLiteral("fast")))}),
         DISP_E_TYPEMISMATCH},
        {"Release with the wrong signature",
         Raw(path, dispatch, QStringLiteral("Release"), {QStringLiteral("1")}), DISP_E_TYPEMISMATCH},
        {"CreateInstance of an unknown class",
         Raw(kRoot, zyn::remoting::kClassFactoryInterface, QStringLiteral("CreateInstance"),
             {QStringLiteral("{nonsense}")}),
         CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_FALSE(c.reply.errorMessage().isEmpty());
        // One string, as every tool reads errors; the name says the rest.
        EXPECT_EQ(c.reply.signature(), QStringLiteral("s"));
        EXPECT_EQ(zyn::remoting::ReadErrorReply(c.reply).hr, c.hr)
            << c.reply.errorName().toStdString() << ": " << c.reply.errorMessage().toStdString();
    }
    // Still serving.
    EXPECT_EQ(Call(chart, u"Rate", DISPATCH_PROPERTYPUT, {400}).hr, S_OK);
    EXPECT_EQ(Call(chart, u"Rate", DISPATCH_PROPERTYGET).value.lVal, 400);
}

TEST_F(Remoting, AServerThatCannotStartIsAClearErrorAfterTheTimeLimit) {
    qputenv("ZYN_AUTOMATION_START_TIMEOUT_MS", "400");
    const CLSID never = zyn::com::MakeGuid("3F6A2B1C-0D9E-4F8A-B7C6-5D4E3F2A1B00");
    ASSERT_EQ(zyn::com::RegisterLocalServer(
                  {never, u"ZynTest.Never", u"Never", u"/bin/sleep 5", u"com.zynthar.Never"}),
              S_OK);
    QElapsedTimer t;
    t.start();
    CComPtr<IDispatch> object;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(CoCreateInstance(never, nullptr, CLSCTX_LOCAL_SERVER, IDispatch::kIID,
                               reinterpret_cast<void**>(&object)),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_GE(t.elapsed(), 400);
    EXPECT_LT(t.elapsed(), 4000);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    CComBSTR text;
    info->GetDescription(&text);
    EXPECT_NE(text.ToUtf8().find("com.zynthar.Never"), std::string::npos) << text.ToUtf8();

    const CLSID missing = zyn::com::MakeGuid("3F6A2B1C-0D9E-4F8A-B7C6-5D4E3F2A1B01");
    ASSERT_EQ(zyn::com::RegisterLocalServer({missing, u"ZynTest.Missing", u"Missing",
                                             u"/nonexistent/program /Automation", u"com.zynthar.Missing"}),
              S_OK);
    t.restart();
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_LOCAL_SERVER, IDispatch::kIID,
                               reinterpret_cast<void**>(&object)),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_LT(t.elapsed(), 400) << "a program that cannot run is reported at once";
    qunsetenv("ZYN_AUTOMATION_START_TIMEOUT_MS");
}

} // namespace

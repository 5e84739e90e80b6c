// The bridge from the C++ side: what VARIANTs reach an object, what a script sees of the
// VARIANTs it gets, dates in local time to the millisecond, the errors a script receives and
// reports, reference lifetimes, and script input that must be refused rather than crash.

#include "zynscript/dispatchbridge.h"
#include "zynscript/scripthost.h"

#include "com/classregistry.h"
#include "com/oledate.h"
#include "registry/registry.h"
#include "testing/SystemTimes.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjects.h"

#include <QCoreApplication>
#include <QJSEngine>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>

namespace {

using namespace zyn::script;
using namespace zyn::test;

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

// check() makes a failed expectation visible in the output and the exit code.
const QString kPrelude = QStringLiteral(
    "function check(ok, what) { if (!ok) { WScript.Echo('FAIL: ' + what); WScript.Quit(2); } }\n"
    "function thrown(f) { try { f(); } catch (e) { return e; } return null; }\n");

Outcome RunScript(const QString& body, const std::function<void(CScriptHost&)>& setup = {},
                  const std::function<void(CScriptHost&)>& after = {}) {
    Outcome o;
    CScriptHost host([&](const QString& s) { o.out += s; }, [&](const QString& s) { o.err += s; });
    if (setup) setup(host);
    // The prelude is one line so that line numbers in `body` start at 3.
    o.code = host.RunSource(kPrelude + body, QStringLiteral("/tmp/zynscript-test/test.js"), {});
    if (after) after(host);
    return o;
}

std::function<void(CScriptHost&)> Globals(std::initializer_list<std::pair<const char*, IDispatch*>> objects) {
    std::vector<std::pair<QString, CComPtr<IDispatch>>> list;
    for (const auto& [name, disp] : objects)
        list.emplace_back(QString::fromUtf8(name), CComPtr<IDispatch>(disp));
    return [list](CScriptHost& host) {
        for (const auto& [name, disp] : list)
            host.SetGlobalObject(name, disp);
    };
}

// A time zone with an offset and summer time, so that a UTC/local mix-up cannot pass.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        ::setenv("TZ", m_old.c_str(), 1);
        ::tzset();
    }

private:
    std::string m_old = "UTC";
};

TEST(ScriptValues, ScriptValuesArriveAsTheirVariantTypes) {
    auto utils = zyn::com::MakeObject<CTestUtils>();
    auto filter = zyn::com::MakeObject<CTestFilter>();
    Outcome o =
        RunScript(QStringLiteral("function arrived(v) { return u.FormatNumber(0, v); }\n"
                                 "check(arrived(-7) === 'I4:-7', 'integer');\n"
                                 "check(arrived(4294967296) === 'R8:4294967296', 'beyond 32 bits');\n"
                                 "check(arrived(0.1) === 'R8:0.10000000000000001', 'fraction');\n"
                                 "check(arrived('') === 'BSTR:', 'empty text');\n"
                                 // Arrays of numbers only take a shortcut; the items are typed the same.
                                 "check(arrived([1, 2.5, -0, 4294967296]) === "
                                 "'ARRAY[I4:1|R8:2.5|I4:0|R8:4294967296]', 'numbers ' + arrived([1, 2.5]));\n"
                                 "check(arrived([1, , 3]) === 'ARRAY[I4:1|EMPTY|I4:3]', 'a hole');\n"
                                 "check(arrived([]) === 'ARRAY[]', 'empty array');\n"
                                 "check(arrived(f) === 'DISPATCH', 'object');\n"),
                  Globals({{"u", utils}, {"f", filter}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    // The object passed is the object itself, not a copy or a proxy of the host's own.
    ASSERT_EQ(utils->next.vt, VT_DISPATCH);
    EXPECT_EQ(utils->next.pdispVal, static_cast<IDispatch*>(filter.p));
}

TEST(ScriptValues, VariantsArriveAsScriptValues) {
    auto filter = zyn::com::MakeObject<CTestFilter>();
    auto make = [](VARTYPE vt, auto setter) {
        CComVariant v;
        v.vt = vt;
        setter(v);
        return v;
    };
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        BYTE b = static_cast<BYTE>(i + 1);
        SafeArrayPutElement(bytes, &i, &b);
    }
    SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 1, 2);
    for (LONG i = 1; i <= 2; ++i) {
        LONG l = i * 10;
        SafeArrayPutElement(longs, &i, &l);
    }
    SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 3);
    const double someDoubles[] = {1.5, -0.25, 1e300};
    for (LONG i = 0; i < 3; ++i)
        SafeArrayPutElement(doubles, &i, &someDoubles[i]);
    struct Case {
        CComVariant value;
        const char* expectation;
    };
    std::vector<Case> cases = {
        {make(VT_I2, [](VARIANT& v) { v.iVal = -5; }), "v === -5"},
        {make(VT_UI4, [](VARIANT& v) { v.ulVal = 4000000000u; }), "v === 4000000000"},
        {make(VT_R4, [](VARIANT& v) { v.fltVal = 1.5f; }), "v === 1.5"},
        {make(VT_CY, [](VARIANT& v) { v.llVal = 12345; }), "v === 1.2345"},
        {make(VT_I8, [](VARIANT& v) { v.llVal = -(1LL << 40); }), "v === -1099511627776"},
        {make(VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }), "v === -2147467259"},
        {make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), "v === true"},
        {CComVariant(u"h\u00e9llo"), "v === 'h\\u00e9llo'"},
        {make(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), "v === ''"},
        {CComVariant(), "v === undefined"},
        {make(VT_NULL, [](VARIANT&) {}), "v === null"},
        {make(VT_ARRAY | VT_UI1, [&](VARIANT& v) { v.parray = bytes; }),
         "v instanceof ArrayBuffer && new Uint8Array(v).join() === '1,2,3'"},
        {make(VT_ARRAY | VT_I4, [&](VARIANT& v) { v.parray = longs; }),
         "Array.isArray(v) && v.join() === '10,20'"},
        {make(VT_ARRAY | VT_R8, [&](VARIANT& v) { v.parray = doubles; }),
         "v instanceof Float64Array && v.length === 3 && v[0] === 1.5 && v[1] === -0.25 && v[2] === 1e300"},
        {CComVariant(static_cast<IDispatch*>(filter.p)), "v.Name === 'Filter-1'"},
        {make(VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }), "v === null"},
        {CComVariant::Date(OleDate(2023, 3, 15, 12, 30, 45, 678)),
         "v instanceof Date && v.getFullYear() === 2023 && v.getMonth() === 2 && v.getDate() === 15 && "
         "v.getHours() === 12 && v.getMinutes() === 30 && v.getSeconds() === 45 && v.getMilliseconds() === "
         "678"},
        {CComVariant::Date(-1.25),
         "v.getFullYear() === 1899 && v.getMonth() === 11 && v.getDate() === 29 && v.getHours() === 6"},
    };
    for (const Case& c : cases) {
        auto utils = zyn::com::MakeObject<CTestUtils>();
        utils->next = c.value;
        Outcome o = RunScript(QStringLiteral("var v = u.CurrentTime();\ncheck(%1, String(v));\n")
                                  .arg(QString::fromUtf8(c.expectation)),
                              Globals({{"u", utils}}));
        EXPECT_EQ(o.code, 0) << c.expectation << "\n" << o.out.toStdString() << o.err.toStdString();
    }
}

TEST(ScriptValues, TypedArraysArriveAsArraysOfTheirNumberType) {
    struct Case {
        const char* script;
        VARTYPE vt;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"new Float64Array([1.5, -2, 1e300, NaN])", VT_R8, {1.5, -2, 1e300, std::nan("")}},
        // A view shows only its part of the buffer.
        {"new Float64Array([9, 1.5, -2, 7]).subarray(1, 3)", VT_R8, {1.5, -2}},
        {"new Float64Array(0)", VT_R8, {}},
        {"new Float32Array([0.5, 3])", VT_R4, {0.5, 3}},
        {"new Int32Array([-7, 2147483647])", VT_I4, {-7, 2147483647}},
        {"new Uint32Array([4000000000])", VT_UI4, {4000000000.0}},
        {"new Int16Array([-300])", VT_I2, {-300}},
        {"new Uint16Array([65535, 1])", VT_UI2, {65535, 1}},
    };
    for (const Case& c : cases) {
        auto utils = zyn::com::MakeObject<CTestUtils>();
        Outcome o = RunScript(QStringLiteral("u.FormatNumber(0, %1);\n").arg(QString::fromUtf8(c.script)),
                              Globals({{"u", utils}}));
        ASSERT_EQ(o.code, 0) << c.script << "\n" << o.out.toStdString() << o.err.toStdString();
        ASSERT_EQ(utils->next.vt, VT_ARRAY | c.vt) << c.script;
        LONG lower = -1, upper = -2;
        SafeArrayGetLBound(utils->next.parray, 1, &lower);
        SafeArrayGetUBound(utils->next.parray, 1, &upper);
        EXPECT_EQ(lower, 0) << c.script;
        ASSERT_EQ(upper + 1, LONG(c.values.size())) << c.script;
        for (LONG i = 0; i <= upper; ++i) {
            CComVariant item;
            item.vt = c.vt;
            SafeArrayGetElement(utils->next.parray, &i, &item.llVal);
            CComVariant asDouble;
            ASSERT_EQ(VariantChangeType(&asDouble, &item, 0, VT_R8), S_OK);
            const double want = c.values[std::size_t(i)];
            if (std::isnan(want))
                EXPECT_TRUE(std::isnan(asDouble.dblVal)) << c.script;
            else
                EXPECT_EQ(asDouble.dblVal, want) << c.script << " [" << i << "]";
        }
    }
}

TEST(ScriptValues, DatesAreLocalTimeToTheMillisecond) {
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    auto utils = zyn::com::MakeObject<CTestUtils>();
    // Summer time: local differs from UTC by four hours, which a UTC conversion would show.
    Outcome o = RunScript(QStringLiteral("var d = new Date(2024, 6, 31, 13, 14, 15, 678);\n"
                                         "u.FormatNumber(0, d);\n"
                                         "var back = u.CurrentTime();\n"
                                         "check(back.getTime() === d.getTime(), 'round trip ' + back);\n"
                                         "u.FormatNumber(0, d);\n"),
                          Globals({{"u", utils}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    ASSERT_EQ(utils->next.vt, VT_DATE);
    EXPECT_NEAR(utils->next.date, OleDate(2024, 7, 31, 13, 14, 15, 678), 1e-9);

    // Before the epoch the fraction still counts forward from midnight.
    qint64 ms = 0;
    DATE d = 0;
    ASSERT_TRUE(DateToLocalMsecs(-1.25, &ms));
    ASSERT_TRUE(LocalMsecsToDate(ms, &d));
    EXPECT_DOUBLE_EQ(d, -1.25);
    // A value a hair below midnight rounds to the next day, not to 24:00.
    ASSERT_TRUE(DateToLocalMsecs(45000.0 - 1e-12, &ms));
    ASSERT_TRUE(LocalMsecsToDate(ms, &d));
    EXPECT_DOUBLE_EQ(d, 45000.0);
    EXPECT_FALSE(DateToLocalMsecs(std::numeric_limits<double>::quiet_NaN(), &ms));
    EXPECT_FALSE(DateToLocalMsecs(1e12, &ms));
}

TEST(ScriptErrors, FailedCallsThrowErrorsCarryingTheErrorObject) {
    auto filter = zyn::com::MakeObject<CTestFilter>();
    auto utils = zyn::com::MakeObject<CTestUtils>();
    Outcome o = RunScript(
        QStringLiteral(
            "var e = thrown(function () { f.Enable = 2; });\n"
            "check(e instanceof Error && e.number === -2147024809, 'number ' + (e && e.number));\n"
            "check(e.description === 'Enable must be 0 or 1' && e.message === e.description, 'text');\n"
            "check(e.source === 'ZynScriptTest.Filter.1', 'source ' + e.source);\n"
            "e = thrown(function () { u.Log('fail'); });\n"
            "check(e.number === -2147467259 && e.description !== '' && e.message === e.description, "
            "'generic');\n"
            "e = thrown(function () { f.Nope(); });\n"
            "check(e.number === -2147352570, 'unknown name ' + e.number);\n"),
        Globals({{"f", filter}, {"u", utils}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    EXPECT_EQ(filter->enable, 1);
}

TEST(ScriptErrors, UncaughtErrorsAreReportedWithFileAndLine) {
    auto filter = zyn::com::MakeObject<CTestFilter>();
    Outcome o = RunScript(QStringLiteral("function set(v) {\n" // line 3
                                         "  f.Enable = v;\n"   // line 4
                                         "}\n"
                                         "set(0);\n"
                                         "set(3);\n"
                                         "WScript.Echo('not reached');\n"),
                          Globals({{"f", filter}}));
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.out, QString());
    EXPECT_EQ(o.err,
              QStringLiteral("/tmp/zynscript-test/test.js:4: error: Enable must be 0 or 1 (0x80070057)\n"));

    o = RunScript(QStringLiteral("var x;\nx.y = 1;\n"));
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.startsWith(QStringLiteral("/tmp/zynscript-test/test.js:4: error: TypeError")))
        << o.err.toStdString();

    o = RunScript(QStringLiteral("\nthrow 'plain text';\n"));
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err,
              QStringLiteral("/tmp/zynscript-test/test.js:4: error: uncaught exception: plain text\n"));

    // The last expression being an Error object is no failure.
    o = RunScript(QStringLiteral("new Error('just a value');\n"));
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.err, QString());
}

TEST(ScriptHost, QuitEndsTheRunWithItsCodeAndEchoJoinsWithSpaces) {
    Outcome o = RunScript(QStringLiteral("WScript.Echo('a', 1, true, null);\n"
                                         "try { WScript.Quit(7); } finally { WScript.Echo('finally'); }\n"));
    EXPECT_EQ(o.code, 7);
    EXPECT_EQ(o.out, QStringLiteral("a 1 true null\n"));
    EXPECT_EQ(RunScript(QStringLiteral("var done = 1;\n")).code, 0);
    EXPECT_EQ(RunScript(QStringLiteral("WScript.Quit();\n")).code, 0);
}

TEST(ScriptObjects, ObjectResultsAreWrappedAndNullObjectsAreNull) {
    auto ds = zyn::com::MakeObject<CTestDataSet>();
    Outcome o =
        RunScript(QStringLiteral(
                      "var lock = ds.LockObject();\n"
                      "lock.unlock();\n"
                      "check(ds.count === 1000 && ds.GETVALUEAT(4) === 2, 'names in any case');\n"
                      "check(typeof ds.GetValueAt === 'function' && typeof ds.Count === 'number', 'kinds');\n"
                      "var get = ds.GetValueAt;\n"
                      "check(get(6) === 3, 'a method read off its object still calls it');\n"),
                  Globals({{"ds", ds}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();

    ds->refuseLock = true;
    o = RunScript(QStringLiteral("check(ds.LockObject() === null, 'null object');\n"), Globals({{"ds", ds}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
}

TEST(ScriptObjects, ObjectsWithoutTypeInformationAreReachedByName) {
    auto lb = zyn::com::MakeObject<CTestLateBound>();
    Outcome o = RunScript(QStringLiteral("check(lb.Value === 7, 'read');\n"
                                         "lb.value = 11;\n"
                                         "check(lb.Add(2, 3) === 5, 'call with arguments');\n"
                                         "var e = thrown(function () { lb.Other(); });\n"
                                         "check(e && e.number === -2147352570, 'unknown');\n"),
                          Globals({{"lb", lb}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    EXPECT_EQ(lb->value, 11);
}

TEST(ScriptLifetime, TheHostReleasesEveryObjectItWasGiven) {
    const long before = zyn::com::LiveObjectCount();
    {
        auto ds = zyn::com::MakeObject<CTestDataSet>();
        Outcome o = RunScript(QStringLiteral("var keep = [];\n"
                                             "for (var i = 0; i < 50; ++i) keep.push(ds.LockObject());\n"
                                             "var self = ds;\n"),
                              Globals({{"ds", ds}}));
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(ds->RefCount(), 1u);
    }
    EXPECT_EQ(zyn::com::LiveObjectCount(), before);
}

TEST(ScriptLifetime, CollectedWrappersReleaseTheirObjectsWhileTheScriptRuns) {
    auto ds = zyn::com::MakeObject<CTestDataSet>();
    const long before = zyn::com::LiveObjectCount();
    long during = 0;
    std::size_t handles = 0;
    Outcome o = RunScript(QStringLiteral("for (var i = 0; i < 5000; ++i) ds.LockObject();\n"),
                          Globals({{"ds", ds}}), [&](CScriptHost& host) {
                              host.Engine().collectGarbage();
                              QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                              during = zyn::com::LiveObjectCount() - before;
                              handles = host.Bridge().LiveHandles();
                          });
    EXPECT_EQ(o.code, 0);
    EXPECT_LT(during, 100) << "lock objects still alive after collection";
    EXPECT_LT(handles, 100u);
}

TEST(ScriptLifetime, ReleasedWrappersFailInsteadOfCrashing) {
    auto filter = zyn::com::MakeObject<CTestFilter>();
    std::function<void(CScriptHost&)> setup = [&](CScriptHost& host) {
        host.SetGlobalObject(QStringLiteral("f"), filter);
        host.Bridge().ReleaseAll();
    };
    Outcome o = RunScript(QStringLiteral("var e = thrown(function () { return f.Name; });\n"
                                         "check(e instanceof Error, 'released object');\n"
                                         "e = thrown(function () { f.Name = 'x'; });\n"
                                         "check(e instanceof Error, 'released object put');\n"),
                          setup);
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    EXPECT_EQ(filter->RefCount(), 1u);
}

TEST(ScriptInput, HostileValuesAreRefusedNotCrashed) {
    auto utils = zyn::com::MakeObject<CTestUtils>();
    Outcome o =
        RunScript(QStringLiteral("var deep = []; for (var i = 0; i < 200; ++i) deep = [deep];\n"
                                 "var e = thrown(function () { u.FormatNumber(0, deep); });\n"
                                 "check(e && e.number === -2147352571, 'deep nesting ' + (e && e.number));\n"
                                 "var sparse = []; sparse.length = 4294967295;\n"
                                 "e = thrown(function () { u.FormatNumber(0, sparse); });\n"
                                 "check(e && e.number === -2147352566, 'huge array');\n"
                                 "e = thrown(function () { return u['Log\\u0000junk'](); });\n"
                                 "check(e && e.number === -2147352570, 'name with a NUL');\n"
                                 "var many = []; for (var i = 0; i < 1000; ++i) many.push(i);\n"
                                 "e = thrown(function () { u.ZynRGB.apply(null, many); });\n"
                                 "check(e && e.number === -2147352562, 'too many arguments');\n"
                                 "e = thrown(function () { u.FormatNumber(0, {}); });\n"
                                 "check(e && e.number === -2147352571, 'plain object');\n"
                                 "e = thrown(function () { u.FormatNumber(0, Symbol('s')); });\n"
                                 "check(e && e.number === -2147352571, 'symbol');\n"
                                 "e = thrown(function () { WScript.Quit('nonsense'); });\n"
                                 "check(e && e.number === -2147024809, 'an exit code that is no number');\n"
                                 "WScript.Sleep(NaN); WScript.Sleep(-10);\n"),
                  Globals({{"u", utils}}));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
}

TEST(ScriptHost, CreateObjectFindsClassesByProgId) {
    TempSettingsStore store;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"ZynScriptTest.Filter\\CLSID", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string clsid = zyn::com::GuidToString(CLSID_TestFilter);
    RegSetValueExW(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid.c_str()),
                   static_cast<DWORD>((clsid.size() + 1) * 2));
    RegCloseKey(key);
    DWORD cookie = 0;
    CComPtr<IClassFactory> factory(new zyn::com::ClassFactory<CTestFilter>());
    ASSERT_EQ(
        CoRegisterClassObject(CLSID_TestFilter, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
        S_OK);

    Outcome o = RunScript(QStringLiteral(
        "var a = new ActiveXObject('ZynScriptTest.Filter');\n"
        "var b = WScript.CreateObject('ZynScriptTest.Filter');\n"
        "a.Name = 'changed';\n"
        "check(a.Name === 'changed' && b.Name === 'Filter-1', 'two objects');\n"
        "var e = thrown(function () { WScript.CreateObject('ZynScriptTest.Missing'); });\n"
        "check(e && e.number === -2147221005 && e.source === 'WScript.CreateObject', 'missing');\n"));
    EXPECT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    CoRevokeClassObject(cookie);
}

} // namespace

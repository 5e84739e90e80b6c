// The library as an in-process server: registration in the classes root, creation by ProgID of the
// client-creatable classes, refusal of the others, and the Utils services.

#include "objlib/ZynChart.h"
#include "objlib/ZynModule.h"

#include "com/ccombstr.h"
#include "com/classregistry.h"
#include "pdh/pdh.h"
#include "registry/registry.h"
#include "testing/ComChecks.h"
#include "testing/TempSettingsStore.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

using zyn::test::LeakCheckedTest;

class ModuleTest : public LeakCheckedTest {
protected:
    static std::u16string ReadDefault(const std::u16string& key, const char16_t* name = u"") {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return u"<missing>";
        char16_t buf[512] = {};
        DWORD bytes = sizeof buf, type = 0;
        LONG rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes);
        RegCloseKey(h);
        return rc == ERROR_SUCCESS ? std::u16string(buf) : u"<no value>";
    }

    zyn::test::TempSettingsStore m_store;
};

TEST_F(ModuleTest, RegistrationWritesEveryClassAndUnregistrationRemovesThem) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    const std::u16string chart = u"CLSID\\{AB2F8C87-F5FE-4376-A8F9-4BD3B9AC80CA}";
    EXPECT_EQ(ReadDefault(chart), u"Zynthar Chart Class");
    EXPECT_EQ(ReadDefault(chart + u"\\ProgID"), u"ZynTallonObj.Chart.1");
    EXPECT_EQ(ReadDefault(chart + u"\\VersionIndependentProgID"), u"ZynTallonObj.Chart");
    EXPECT_EQ(ReadDefault(chart + u"\\InprocServer32", u"ThreadingModel"), u"Both");
    EXPECT_EQ(ReadDefault(chart + u"\\InprocServer32"), zyn::obj::ModulePath());
    EXPECT_EQ(ReadDefault(chart + u"\\TypeLib"), u"{0EA143EB-8F88-44A1-BAAD-708658A0536F}");
    EXPECT_EQ(ReadDefault(u"ZynTallonObj.Chart\\CurVer"), u"ZynTallonObj.Chart.1");
    EXPECT_EQ(ReadDefault(u"ZynTallonObj.EventIter.1"), u"Zynthar EventIter Class");
    EXPECT_EQ(ReadDefault(u"TypeLib\\{0EA143EB-8F88-44A1-BAAD-708658A0536F}\\1.0"),
              u"ZynTallonObj 1.0 Type Library");

    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"ZynTallonObj.Utils", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Utils);

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(ReadDefault(chart), u"<missing>");
    EXPECT_EQ(CLSIDFromProgID(u"ZynTallonObj.Utils", &clsid), CO_E_CLASSSTRING);
}

TEST_F(ModuleTest, OnlyClientCreatableClassesHaveFactories) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    CComPtr<IZynUtils> utils;
    ASSERT_EQ(
        CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_ALL, IZynUtils::kIID, reinterpret_cast<void**>(&utils)),
        S_OK);
    for (const CLSID* c :
         {&CLSID_App, &CLSID_DataSet, &CLSID_ChannelIter, &CLSID_Filter, &CLSID_ChartIter, &CLSID_ObjLock}) {
        CComPtr<IUnknown> obj;
        EXPECT_EQ(CoCreateInstance(*c, nullptr, CLSCTX_ALL, IUnknown::kIID, reinterpret_cast<void**>(&obj)),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(obj.p, nullptr);
    }
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE); // utils is alive
}

TEST_F(ModuleTest, UtilsServices) {
    CComPtr<IZynUtils> u;
    ASSERT_EQ(zyn::obj::CreatorFor(CLSID_Utils)(IZynUtils::kIID, reinterpret_cast<void**>(&u)), S_OK);
    OLE_COLOR c = 0;
    u->ZynRGB(255, 0, 0, &c);
    EXPECT_EQ(c, 255u);
    u->ZynRGB(0, 0, 255, &c);
    EXPECT_EQ(c, 16711680u);
    LONG v = 0;
    u->get_MajorVersion(&v);
    EXPECT_EQ(v, 2);
    u->get_MinorVersion(&v);
    EXPECT_EQ(v, 4);
    u->get_Build(&v);
    EXPECT_EQ(v, 1438);
    double d = 0;
    CComBSTR text(u"1,234.5");
    u->StringToDouble(text, &d);
    EXPECT_EQ(d, 1234.5);

    auto format = [&](double x, const CComVariant& f) {
        CComBSTR out;
        EXPECT_EQ(u->FormatNumber(x, f, &out), S_OK);
        return out.ToUtf8();
    };
    CComVariant one(1);
    EXPECT_EQ(format(1234.6, one), "1,235"); // the automatic format
    EXPECT_EQ(format(12345.6789, CComVariant(u"%0.4lf")), "12,345.6789");
    EXPECT_EQ(format(12345.6789, CComVariant(u"%f")), "12,346");      // two characters: ignored
    EXPECT_EQ(format(12345.6789, CComVariant(u"x%0.2lf")), "12,346"); // not starting with %: ignored
    EXPECT_EQ(format(5, CComVariant(u"%s%s%s")), "");                 // refused format: empty text

    CComVariant now;
    ASSERT_EQ(u->CurrentTime(&now), S_OK);
    EXPECT_EQ(now.vt, VT_DATE);
    EXPECT_GT(now.date, 45000.0); // after 2023
}

std::string FirstLine(const std::filesystem::path& file) {
    std::string line;
    std::getline(std::ifstream(file), line);
    return line;
}

bool SomeThreadIsNamed(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        if (FirstLine(task.path() / "comm") == name) return true;
    return false;
}

// This test program hosts the library as any program does: loading it and running a chart must
// leave the program its own name (ps, top, pidof), so that other tools, and this library's own
// Process object, still find it under that name. Only the library's own threads carry its names.
TEST_F(ModuleTest, TheHostProgramKeepsItsOwnName) {
    const std::string program = std::filesystem::read_symlink("/proc/self/exe")
                                    .filename()
                                    .string()
                                    .substr(0, 15); // the kernel keeps 15
    {
        auto chart = CZynChart::Create();
        CComPtr<IZynChannel> channel;
        ASSERT_EQ(chart->AddChannel(CComBSTR(u"\\Memory\\Available MBytes"), &channel), S_OK);
        ASSERT_EQ(chart->put_Run(1), S_OK);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!SomeThreadIsNamed("Dacq") && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(SomeThreadIsNamed("Dacq")) << "the sampling thread is the library's and named";
        EXPECT_EQ(FirstLine("/proc/self/comm"), program);

        // \Process(<program>) or one of its #n instances is this process.
        PDH_HQUERY query = nullptr;
        ASSERT_EQ(PdhOpenQueryW(nullptr, 0, &query), ERROR_SUCCESS);
        std::vector<PDH_HCOUNTER> ids;
        const std::u16string name(program.begin(), program.end());
        for (const std::u16string& instance : zyn::pdh::ListInstances(u"Process")) {
            if (instance != name && !instance.starts_with(name + u"#")) continue;
            PDH_HCOUNTER c = nullptr;
            const std::u16string path = u"\\Process(" + instance + u")\\ID Process";
            if (PdhAddCounterW(query, path.c_str(), 0, &c) == ERROR_SUCCESS) ids.push_back(c);
        }
        EXPECT_FALSE(ids.empty()) << "no Process instance named " << program;
        PdhCollectQueryData(query);
        bool found = false;
        for (PDH_HCOUNTER c : ids) {
            PDH_FMT_COUNTERVALUE v{};
            if (PdhGetFormattedCounterValue(c, PDH_FMT_LARGE | PDH_FMT_NOSCALE, nullptr, &v) == ERROR_SUCCESS)
                found = found || v.largeValue == ::getpid();
        }
        EXPECT_TRUE(found) << "this process is not among the Process instances named " << program;
        PdhCloseQuery(query);
        chart->put_Run(0);
    }
}

} // namespace

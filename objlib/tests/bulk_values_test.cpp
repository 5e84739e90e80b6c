// Whole runs of values through the later interface versions of channels and data sets: a run goes
// in and comes out as single calls would store and give it, a bad run is refused whole with a
// message, and the first versions keep their members and dispatch ids.

#include "objlib/ZynChannel.h"
#include "objlib/ZynChart.h"

#include "com/ccombstr.h"
#include "testing/ComChecks.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using zyn::test::LeakCheckedTest;
using zyn::test::TakeError;
using BulkValuesTest = LeakCheckedTest;

constexpr double kStart = 45000.25;
double At(double ms) {
    return kStart + ms * CZynTimeBase::kDaysPerMs;
}

CComVariant Doubles(const std::vector<double>& values, VARTYPE type = VT_R8) {
    CComVariant v;
    SAFEARRAY* array = SafeArrayCreateVector(type, 0, ULONG(values.size()));
    for (LONG i = 0; i < LONG(values.size()); ++i) {
        CComVariant item(values[std::size_t(i)]);
        VariantChangeType(&item, &item, 0, type);
        SafeArrayPutElement(array, &i, &item.llVal); // every member starts the union
    }
    v.vt = VT_ARRAY | type;
    v.parray = array;
    return v;
}

CComVariant Variants(const std::vector<CComVariant>& items) {
    CComVariant v;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(items.size()));
    for (LONG i = 0; i < LONG(items.size()); ++i)
        SafeArrayPutElement(array, &i, &items[std::size_t(i)]);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = array;
    return v;
}

std::vector<double> Read(const VARIANT& array) {
    EXPECT_EQ(array.vt, VT_ARRAY | VT_R8);
    std::vector<double> out;
    if (array.vt != (VT_ARRAY | VT_R8)) return out;
    LONG upper = -1;
    SafeArrayGetUBound(array.parray, 1, &upper);
    out.resize(std::size_t(upper) + 1);
    for (LONG i = 0; i <= upper; ++i)
        SafeArrayGetElement(array.parray, &i, &out[std::size_t(i)]);
    return out;
}

struct Static {
    CComPtr<IZynChannel2> channel;
    CComPtr<IZynDataSet2> data;

    explicit Static(IZynChart* chart) {
        CComPtr<IZynChannel> plain;
        EXPECT_EQ(chart->AddStaticChannel(&plain), S_OK);
        EXPECT_EQ(plain->QueryInterface(IZynChannel2::kIID, reinterpret_cast<void**>(&channel)), S_OK);
        CComPtr<IZynDataSet> set;
        EXPECT_EQ(channel->get_Data(&set), S_OK);
        EXPECT_EQ(set->QueryInterface(IZynDataSet2::kIID, reinterpret_cast<void**>(&data)), S_OK);
    }
    LONG Count() const {
        LONG n = -1;
        channel->get_DataCount(&n);
        return n;
    }
};

double ChartStart(IZynChart* chart) {
    CComVariant start;
    chart->get_StartTime(&start);
    return start.date;
}

TEST_F(BulkValuesTest, ARunStoresWhatSingleAppendsStoreAndReadsBack) {
    auto chart = CZynChart::Create();
    Static bulk(chart), single(chart);
    std::vector<double> values, times;
    for (int k = 0; k < 1000; ++k) {
        values.push_back(std::sin(k * 0.01) * 100 - 3.5);
        times.push_back(At(k * 250.0 + (k % 3))); // whole milliseconds, some not on the 250 ms grid
    }
    LONG count = 0;
    ASSERT_EQ(bulk.channel->AddValues(Doubles(values), Doubles(times), &count), S_OK);
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(ChartStart(chart), kStart) << "an unstarted chart starts at the first time";
    for (std::size_t k = 0; k < values.size(); ++k)
        ASSERT_EQ(single.channel->AddValueAbsTime(values[k], CComVariant::Date(times[k]), &count), S_OK);

    CComVariant got, gotTimes;
    ASSERT_EQ(bulk.data->GetValues(0, 1000, &got), S_OK);
    EXPECT_EQ(Read(got), values);
    ASSERT_EQ(bulk.data->GetTimes(0, 1000, &gotTimes), S_OK);
    const std::vector<double> readTimes = Read(gotTimes);
    ASSERT_EQ(readTimes.size(), 1000u);
    for (LONG k : {0, 1, 2, 499, 999}) {
        CComVariant one;
        ASSERT_EQ(single.data->GetTimeAt(k, &one), S_OK);
        EXPECT_EQ(readTimes[std::size_t(k)], one.date) << k;
        EXPECT_NEAR(readTimes[std::size_t(k)], times[std::size_t(k)], 1e-9) << k;
    }
    // The statistics follow the same steps as single appends.
    for (auto get : {&IZynDataSet::get_Max, &IZynDataSet::get_Min, &IZynDataSet::get_Average}) {
        double a = 0, b = 0;
        (bulk.data->*get)(&a);
        (single.data->*get)(&b);
        EXPECT_EQ(a, b);
    }
    LONG ia = 0, ib = 0;
    bulk.data->get_IndexMax(&ia);
    single.data->get_IndexMax(&ib);
    EXPECT_EQ(ia, ib);

    // A part of the run, and runs that end at the last value.
    got.Clear(); // an out argument is written over, not freed
    ASSERT_EQ(bulk.data->GetValues(10, 5, &got), S_OK);
    EXPECT_EQ(Read(got), std::vector<double>(values.begin() + 10, values.begin() + 15));
    got.Clear();
    ASSERT_EQ(bulk.data->GetValues(1000, 0, &got), S_OK);
    EXPECT_TRUE(Read(got).empty());

    // Arrays of variants, of dates and of other number types are taken too, as single arguments
    // would convert them; a second run follows the first.
    const CComVariant mixed = Variants({CComVariant(7), CComVariant(2.5), CComVariant(u"4.25")});
    const CComVariant dates =
        Variants({CComVariant::Date(At(300000)), CComVariant(At(300001)), CComVariant::Date(At(300002))});
    ASSERT_EQ(bulk.channel->AddValues(mixed, dates, &count), S_OK);
    EXPECT_EQ(count, 1003);
    ASSERT_EQ(
        bulk.channel->AddValues(Doubles({1, 2}, VT_R4), Doubles({At(300003), At(300004)}, VT_DATE), &count),
        S_OK);
    got.Clear();
    ASSERT_EQ(bulk.data->GetValues(1000, 5, &got), S_OK);
    EXPECT_EQ(Read(got), (std::vector<double>{7, 2.5, 4.25, 1, 2}));
    gotTimes.Clear();
    ASSERT_EQ(bulk.data->GetTimes(1003, 2, &gotTimes), S_OK);
    EXPECT_NEAR(Read(gotTimes)[1], At(300004), 1e-9);
}

TEST_F(BulkValuesTest, ABadRunIsRefusedWholeWithItsReason) {
    auto chart = CZynChart::Create();
    Static channel(chart);
    LONG count = -1;
    struct Case {
        const char* what;
        CComVariant values, times;
        HRESULT hr;
        std::string text;
    };
    const std::vector<Case> beforeStart = {
        {"no array", CComVariant(1.0), Doubles({At(0)}), E_INVALIDARG,
         "The values passed to IZynChannel2.AddValues are not a one-dimensional array"},
        {"no array of times", Doubles({1}), CComVariant::Date(At(0)), E_INVALIDARG,
         "The times passed to IZynChannel2.AddValues are not a one-dimensional array"},
        {"lengths differ", Doubles({1, 2, 3}), Doubles({At(0), At(1)}), E_INVALIDARG,
         "IZynChannel2.AddValues was given 3 values and 2 times: each value needs its time"},
        {"a value that is no number", Variants({CComVariant(1), CComVariant(2), CComVariant(u"abc")}),
         Doubles({At(0), At(1), At(2)}), DISP_E_TYPEMISMATCH,
         "The value at index 2 passed to IZynChannel2.AddValues is not a number"},
        {"a time that is no time", Doubles({1, 2}),
         Variants({CComVariant::Date(At(0)), CComVariant(u"noon-ish")}), DISP_E_TYPEMISMATCH,
         "Invalid time at index 1 to IZynChannel2.AddValues"},
        {"a time that is not finite", Doubles({1, 2}), Doubles({At(0), std::nan("")}), E_INVALIDARG,
         "Invalid time at index 1 to IZynChannel2.AddValues"},
        // The first time would start the chart; a later one before it cannot be stored.
        {"a time before the first", Doubles({1, 2, 3}), Doubles({At(10), At(20), At(5)}), E_FAIL,
         "Time for data point at index 2 cannot be earlier than the chart start time."},
        // 30 days do not fit 32-bit signed milliseconds.
        {"a time too late", Doubles({1, 2}), Doubles({At(0), kStart + 30}), E_INVALIDARG,
         "Time for data point at index 1 is too far after the chart start time."},
    };
    for (const Case& c : beforeStart) {
        EXPECT_EQ(channel.channel->AddValues(c.values, c.times, &count), c.hr) << c.what;
        EXPECT_EQ(TakeError().description, c.text) << c.what;
        EXPECT_EQ(channel.Count(), 0) << c.what;
        EXPECT_EQ(ChartStart(chart), 0.0) << c.what << ": a refused run does not start the chart";
    }

    ASSERT_EQ(channel.channel->AddValues(Doubles({1}), Doubles({At(100)}), &count), S_OK);
    EXPECT_EQ(channel.channel->AddValues(Doubles({2, 3}), Doubles({At(200), At(99)}), &count), E_FAIL);
    EXPECT_EQ(TakeError().description,
              "Time for data point at index 1 cannot be earlier than the chart start time.");
    EXPECT_EQ(channel.Count(), 1);
    // Times that step back but stay after the start are the caller's to order, as with single values.
    ASSERT_EQ(channel.channel->AddValues(Doubles({2, 3}), Doubles({At(300), At(150)}), &count), S_OK);
    EXPECT_EQ(count, 3);
    // An empty run adds nothing and fails nothing.
    ASSERT_EQ(channel.channel->AddValues(Doubles({}), Doubles({}), &count), S_OK);
    EXPECT_EQ(count, 3);

    // Only static channels attached to a chart take values; a chart is not started by a refused run.
    auto unstarted = CZynChart::Create();
    CComPtr<IZynChannel> virtualChannel;
    ASSERT_EQ(unstarted->AddVirtualChannel(&virtualChannel), S_OK);
    CComPtr<IZynChannel2> virtual2;
    ASSERT_EQ(virtualChannel->QueryInterface(IZynChannel2::kIID, reinterpret_cast<void**>(&virtual2)), S_OK);
    EXPECT_EQ(virtual2->AddValues(Doubles({1}), Doubles({At(0)}), &count), E_FAIL);
    EXPECT_EQ(TakeError().description, "Can only add values to a static channel");
    EXPECT_EQ(ChartStart(unstarted), 0.0);
    CComPtr<CZynChannel> loose = CZynChannel::Create();
    EXPECT_EQ(loose->AddValues(Doubles({1}), Doubles({At(0)}), &count), E_FAIL);
    EXPECT_EQ(TakeError().description,
              "Cannot add data to a channel that is not connected to a chart object.");
    EXPECT_EQ(loose->AddValues(Doubles({1}), Doubles({At(0)}), nullptr), E_POINTER);
}

TEST_F(BulkValuesTest, RunsOutsideTheValuesAreRefused) {
    auto chart = CZynChart::Create();
    Static channel(chart);
    LONG count = 0;
    ASSERT_EQ(channel.channel->AddValues(Doubles({1, 2, 3}), Doubles({At(0), At(1), At(2)}), &count), S_OK);
    struct Run {
        LONG start, count;
    };
    for (const Run r : {Run{-1, 1}, Run{0, -1}, Run{2, 2}, Run{3, 1}, Run{INT32_MAX, 1}, Run{1, INT32_MAX}}) {
        for (auto get : {&IZynDataSet2::GetValues, &IZynDataSet2::GetTimes}) {
            CComVariant out = 5.0;
            EXPECT_EQ((channel.data->*get)(r.start, r.count, &out), E_INVALIDARG)
                << r.start << " " << r.count;
            EXPECT_EQ(out.vt, VT_EMPTY);
            const std::string text = TakeError().description;
            EXPECT_EQ(text.rfind("Invalid range (start " + std::to_string(r.start) + ", count " +
                                     std::to_string(r.count) + ") passed to Get",
                                 0),
                      0u)
                << text;
            EXPECT_NE(text.find("There are 3 values."), std::string::npos) << text;
        }
    }
    EXPECT_EQ(channel.data->GetValues(0, 1, nullptr), E_POINTER);
}

TEST_F(BulkValuesTest, LateBindingReachesBothVersionsWithTheFirstVersionsIds) {
    auto chart = CZynChart::Create();
    Static channel(chart);
    auto id = [](IDispatch* disp, const char16_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID found = DISPID_UNKNOWN;
        EXPECT_EQ(disp->GetIDsOfNames(GUID_NULL, names, 1, 0, &found), S_OK) << zyn::com::Utf16ToUtf8(name);
        return found;
    };
    EXPECT_EQ(id(channel.channel, u"AddValueAbsTime"), 0x60020005);
    EXPECT_EQ(id(channel.channel, u"DataCount"), 0x6002002B);
    EXPECT_EQ(id(channel.channel, u"addvalues"), 0x60030000);
    EXPECT_EQ(id(channel.data, u"GetValueAt"), 0x60020000);
    EXPECT_EQ(id(channel.data, u"Average"), 0x6002000B);
    EXPECT_EQ(id(channel.data, u"GetValues"), 0x60030000);
    EXPECT_EQ(id(channel.data, u"GetTimes"), 0x60030001);

    // A call by id with arguments as a script host passes them (last first).
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    CComVariant times = Doubles({At(0), At(5)}), values = Variants({CComVariant(1), CComVariant(2.5)});
    args[0] = times;
    args[1] = values;
    DISPPARAMS params{args, nullptr, 2, 0};
    CComVariant result;
    ASSERT_EQ(channel.channel->Invoke(0x60030000, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr,
                                      nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 2);

    // The type information is that of the later version, which names the first one it extends.
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(channel.channel->GetTypeInfo(0, 0, &info), S_OK);
    CComBSTR name;
    info->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    EXPECT_EQ(name.ToUtf8(), "IZynChannel2");
    CComPtr<ITypeInfo> first = zyn::com::FirstVersionOf(info);
    ASSERT_TRUE(first);
    CComBSTR firstName;
    first->GetDocumentation(-1, &firstName, nullptr, nullptr, nullptr);
    EXPECT_EQ(firstName.ToUtf8(), "IZynChannel");
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(first->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cFuncs, IZynChannel::TypeTable().members.size());
    EXPECT_EQ(attr->cImplTypes, 0);
    first->ReleaseTypeAttr(attr);
}

} // namespace

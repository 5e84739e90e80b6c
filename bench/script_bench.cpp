// The cost of reaching an automation object from a script: IZynDataSet::GetValueAt called in a
// loop (1) through the C++ interface, (2) through IDispatch::Invoke from C++, (3) from JavaScript
// through zynscript's bridge, and (4) as a plain JavaScript function over a JavaScript array, the
// floor of any script loop. Then a chart of 10 static channels of 1,000,000 values each built (a)
// by C++ appending value by value (AddValueRelTime) and (b) by a script that fills typed arrays
// and hands each channel its values and times in one AddValues call; (c), for scale, a script
// appending value by value (AddValueAbsTime) on a smaller chart. Prints nanoseconds per call or
// per value and the ratios; exits non-zero when the loops disagree on what they read or built.
//   script_bench [VALUES_PER_CHANNEL]

#include "zynscript/dispatchbridge.h"
#include "zynscript/scripthost.h"

#include "objlib/ZynChart.h"
#include "objlib/ZynDataSet.h"

#include <QCoreApplication>
#include <QJSEngine>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kValues = 1000;

// The real data set, filled the way a static channel's would be.
CComPtr<CZynDataSet> MakeDataSet() {
    CComPtr<CZynDataSet> set = CZynDataSet::Create();
    CZynLockList locks;
    set->int_LockInto(locks);
    for (int i = 0; i < kValues; ++i)
        (void)set->int_Append(i * 0.25);
    return set;
}

constexpr int kChannels = 10;
constexpr double kStartDate = 45000.25;
constexpr double kMsPerDay = 86400000.0;
// The value every builder puts at index i of channel c: cheap, so that building is what counts.
double ValueAt(long i, int c) {
    return double(i % 1000) * 0.25 + c;
}

// What a built chart holds: the count and the sum of the maxima and last values of its channels.
struct Built {
    long values = 0;
    double check = 0;
    bool operator==(const Built&) const = default;
};
Built Inspect(IZynChart* chart) {
    Built b;
    CComPtr<IZynChannelIter> it;
    chart->get_Channels(&it);
    LONG more = 0;
    while (SUCCEEDED(it->get_HasNext(&more)) && more) {
        CComPtr<IZynChannel> ch;
        it->GetNext(&ch);
        LONG n = 0;
        ch->get_DataCount(&n);
        CComPtr<IZynDataSet> data;
        ch->get_Data(&data);
        double max = 0, last = 0;
        data->get_Max(&max);
        data->GetValueAt(n - 1, &last);
        CComVariant lastTime;
        ch->get_LastTime(&lastTime);
        b.values += n;
        b.check += max + last + (lastTime.date - kStartDate) * kMsPerDay;
    }
    return b;
}

CComPtr<CZynChart> NewChart() {
    CComPtr<CZynChart> chart = CZynChart::Create();
    chart->put_StartTime(CComVariant::Date(kStartDate));
    return chart;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F> double BestNsPerCall(int runs, long calls, F&& f) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        auto t0 = Clock::now();
        f();
        best = std::min(best,
                        std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / double(calls));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CComPtr<CZynDataSet> dataSet = MakeDataSet();
    // Through a volatile pointer so the compiler cannot see the class and inline the call.
    IZynDataSet* volatile iface = dataSet.p;

    const long nativeCalls = 20'000'000;
    double nativeSum = 0;
    const double nativeNs = BestNsPerCall(5, nativeCalls, [&] {
        double sum = 0, v = 0;
        for (long i = 0; i < nativeCalls; ++i) {
            iface->GetValueAt(static_cast<LONG>(i % kValues), &v);
            sum += v;
        }
        nativeSum = sum;
    });

    const long scriptCalls = 400'000;
    double invokeSum = 0;
    const double invokeNs = BestNsPerCall(5, scriptCalls, [&] {
        IDispatch* disp = dataSet.p;
        LPOLESTR names[] = {const_cast<LPOLESTR>(u"GetValueAt")};
        DISPID id = 0;
        disp->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
        double sum = 0;
        for (long i = 0; i < scriptCalls; ++i) {
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_I4;
            arg.lVal = static_cast<LONG>(i % kValues);
            DISPPARAMS params{&arg, nullptr, 1, 0};
            CComVariant result;
            disp->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, nullptr,
                         nullptr);
            sum += result.dblVal;
        }
        invokeSum = sum;
    });

    zyn::script::CScriptHost host;
    host.SetGlobalObject(QStringLiteral("ds"), dataSet);
    QJSEngine& engine = host.Engine();
    engine.evaluate(QStringLiteral("var data = []; for (var k = 0; k < 1000; ++k) data.push(k * 0.25);\n"
                                   "function getValueAt(i) { return data[i]; }\n"
                                   "function viaBridge(n) { var s = 0; for (var i = 0; i < n; ++i) s += "
                                   "ds.GetValueAt(i % 1000); return s; }\n"
                                   "function plain(n) { var s = 0; for (var i = 0; i < n; ++i) s += "
                                   "getValueAt(i % 1000); return s; }\n"));
    const QString callCount = QString::number(scriptCalls);
    double bridgeSum = 0, plainSum = 0;
    const double bridgeNs = BestNsPerCall(5, scriptCalls, [&] {
        bridgeSum = engine.evaluate(QStringLiteral("viaBridge(%1)").arg(callCount)).toNumber();
    });
    const double plainNs = BestNsPerCall(5, scriptCalls, [&] {
        plainSum = engine.evaluate(QStringLiteral("plain(%1)").arg(callCount)).toNumber();
    });

    std::printf("IZynDataSet::GetValueAt, best of 5 runs\n");
    std::printf("  C++ interface          %10.1f ns/call  (%ld calls)\n", nativeNs, nativeCalls);
    std::printf("  IDispatch::Invoke, C++ %10.1f ns/call  (%ld calls)  %8.1fx C++\n", invokeNs, scriptCalls,
                invokeNs / nativeNs);
    std::printf("  JavaScript via bridge  %10.1f ns/call  (%ld calls)  %8.1fx C++  %6.1fx Invoke\n", bridgeNs,
                scriptCalls, bridgeNs / nativeNs, bridgeNs / invokeNs);
    std::printf("  plain JavaScript floor %10.1f ns/call  (%ld calls)  %8.1fx C++\n", plainNs, scriptCalls,
                plainNs / nativeNs);
    std::printf("  bridge / plain JavaScript: %.1fx  (target <= 8x)\n", bridgeNs / plainNs);

    // Building a chart: C++ value by value against a script with one AddValues call per channel.
    const long perChannel = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    const double totalValues = double(perChannel) * kChannels;
    engine.evaluate(QStringLiteral("function buildBulk(chart, channels, n, start) {\n"
                                   "  for (var c = 0; c < channels; ++c) {\n"
                                   "    var values = new Float64Array(n), times = new Float64Array(n);\n"
                                   "    for (var i = 0; i < n; ++i) { values[i] = (i % 1000) * 0.25 + c; "
                                   "times[i] = start + i * 250 / 86400000; }\n"
                                   "    chart.AddStaticChannel().AddValues(values, times);\n"
                                   "  }\n"
                                   "}\n"
                                   "function buildSingle(chart, channels, n, start) {\n"
                                   "  for (var c = 0; c < channels; ++c) {\n"
                                   "    var ch = chart.AddStaticChannel();\n"
                                   "    for (var i = 0; i < n; ++i) ch.AddValueAbsTime((i % 1000) * 0.25 + "
                                   "c, start + i * 250 / 86400000);\n"
                                   "  }\n"
                                   "}\n"));
    // The script's chart is a global only while it runs; afterwards the collector lets go of it.
    auto runScriptBuild = [&](const char* function, long n, Built* built) {
        CComPtr<CZynChart> chart = NewChart();
        host.SetGlobalObject(QStringLiteral("chart"), chart);
        const auto t0 = Clock::now();
        const QJSValue r = engine.evaluate(QStringLiteral("%1(chart, %2, %3, %4)")
                                               .arg(QString::fromUtf8(function))
                                               .arg(kChannels)
                                               .arg(n)
                                               .arg(kStartDate, 0, 'g', 17));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (r.isError()) std::printf("script failed: %s\n", qPrintable(r.toString()));
        *built = Inspect(chart);
        engine.globalObject().setProperty(QStringLiteral("chart"), QJSValue(QJSValue::NullValue));
        engine.collectGarbage();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return ms;
    };
    std::vector<double> nativeMs, bulkMs, ratios;
    Built nativeBuilt, bulkBuilt;
    for (int r = 0; r < 3; ++r) {
        {
            CComPtr<CZynChart> chart = NewChart();
            const auto t0 = Clock::now();
            for (int c = 0; c < kChannels; ++c) {
                CComPtr<IZynChannel> ch;
                chart->AddStaticChannel(&ch);
                LONG count = 0;
                for (long i = 0; i < perChannel; ++i)
                    ch->AddValueRelTime(ValueAt(i, c), LONG(i * 250), &count);
            }
            nativeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            nativeBuilt = Inspect(chart);
        }
        bulkMs.push_back(runScriptBuild("buildBulk", perChannel, &bulkBuilt));
        ratios.push_back(bulkMs.back() / nativeMs.back());
    }
    // Value by value from a script takes long: a tenth of the values per channel shows the rate.
    const long singleN = std::max(1L, perChannel / 10);
    Built singleBuilt;
    const double singleMs = runScriptBuild("buildSingle", singleN, &singleBuilt);

    std::printf("\nbuilding %d channels x %ld values (3 runs, min / median)\n", kChannels, perChannel);
    std::printf("  C++ AddValueRelTime per value  %8.1f / %8.1f ms  (%5.1f ns/value)\n",
                *std::min_element(nativeMs.begin(), nativeMs.end()), Median(nativeMs),
                Median(nativeMs) * 1e6 / totalValues);
    std::printf("  script, AddValues per channel  %8.1f / %8.1f ms  (%5.1f ns/value)\n",
                *std::min_element(bulkMs.begin(), bulkMs.end()), Median(bulkMs),
                Median(bulkMs) * 1e6 / totalValues);
    std::printf(
        "  script, AddValueAbsTime per value (%ld per channel) %8.1f ms  (%5.1f ns/value, %.1f s for the "
        "whole chart)\n",
        singleN, singleMs, singleMs * 1e6 / (double(singleN) * kChannels),
        singleMs / (double(singleN) * kChannels) * totalValues / 1000.0);
    std::printf("  script bulk / C++ appends: min %.2fx median %.2fx  (target <= 3x)\n",
                *std::min_element(ratios.begin(), ratios.end()), Median(ratios));

    // Every loop reads the same values: 400,000 calls cover the 1,000 values 400 times.
    const double expected = 400.0 * (999.0 * 1000.0 / 2.0) * 0.25;
    bool ok = nativeSum == 20'000.0 * (999.0 * 1000.0 / 2.0) * 0.25 && invokeSum == expected &&
              bridgeSum == expected && plainSum == expected;
    if (!ok) std::printf("MISMATCH: sums %g %g %g %g\n", nativeSum, invokeSum, bridgeSum, plainSum);
    if (!(nativeBuilt == bulkBuilt) || nativeBuilt.values != long(totalValues) ||
        singleBuilt.values != singleN * kChannels) {
        std::printf("MISMATCH: built %ld/%.17g (C++) %ld/%.17g (script bulk), %ld by single calls\n",
                    nativeBuilt.values, nativeBuilt.check, bulkBuilt.values, bulkBuilt.check,
                    singleBuilt.values);
        ok = false;
    }
    return ok ? 0 : 1;
}

// The cost of reaching an automation object from a script: IZynDataSet::GetValueAt called in a
// loop (1) through the C++ interface, (2) through IDispatch::Invoke from C++, (3) from JavaScript
// through zynscript's bridge, and (4) as a plain JavaScript function over a JavaScript array, the
// floor of any script loop. Prints nanoseconds per call and the ratios; exits non-zero when the
// loops disagree on the sum.

#include "zynscript/dispatchbridge.h"
#include "zynscript/scripthost.h"

#include "objlib/ZynDataSet.h"

#include <QCoreApplication>
#include <QJSEngine>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
    std::printf("  bridge / plain JavaScript: %.1fx\n", bridgeNs / plainNs);

    // Every loop reads the same values: 400,000 calls cover the 1,000 values 400 times.
    const double expected = 400.0 * (999.0 * 1000.0 / 2.0) * 0.25;
    const bool ok = nativeSum == 20'000.0 * (999.0 * 1000.0 / 2.0) * 0.25 && invokeSum == expected &&
                    bridgeSum == expected && plainSum == expected;
    if (!ok) std::printf("MISMATCH: sums %g %g %g %g\n", nativeSum, invokeSum, bridgeSum, plainSum);
    return ok ? 0 : 1;
}

#include "CounterInstances.h"

#include "display/WideText.h"

#include "pdh/pdh.h"

#include <algorithm>
#include <cmath>

namespace {

const QString kProcess = QStringLiteral("Process");
const QString kTotal = QStringLiteral("_Total");

// "bash#2" is "bash" with index 2; "bash" has index 0.
std::pair<QString, int> SplitIndex(const QString& name) {
    const qsizetype hash = name.lastIndexOf(u'#');
    if (hash < 0) return {name, 0};
    bool ok = false;
    const int index = name.mid(hash + 1).toInt(&ok);
    return ok ? std::pair{name.left(hash), index} : std::pair{name, 0};
}

// Each process's id, read with one query of every instance's "ID Process" counter. A process that
// ended since the listing just has none.
std::vector<double> ProcessIds(const std::vector<BrowserInstance>& instances) {
    std::vector<double> ids(instances.size(), NAN);
    PDH_HQUERY query = nullptr;
    if (PdhOpenQueryW(nullptr, 0, &query) != ERROR_SUCCESS) return ids;
    std::vector<PDH_HCOUNTER> counters(instances.size(), nullptr);
    for (std::size_t i = 0; i < instances.size(); ++i) {
        if (instances[i].pathName == kTotal) continue;
        const QString path =
            QStringLiteral("\\Process(") + instances[i].pathName + QStringLiteral(")\\ID Process");
        const std::u16string wide(U16View(path));
        if (PdhAddCounterW(query, wide.c_str(), 0, &counters[i]) != ERROR_SUCCESS) counters[i] = nullptr;
    }
    if (PdhCollectQueryData(query) == ERROR_SUCCESS) {
        for (std::size_t i = 0; i < counters.size(); ++i) {
            PDH_FMT_COUNTERVALUE value{};
            if (counters[i] &&
                PdhGetFormattedCounterValue(counters[i], PDH_FMT_DOUBLE | PDH_FMT_NOSCALE, nullptr, &value) ==
                    ERROR_SUCCESS &&
                (value.CStatus == PDH_CSTATUS_VALID_DATA || value.CStatus == PDH_CSTATUS_NEW_DATA))
                ids[i] = value.doubleValue;
        }
    }
    PdhCloseQuery(query);
    return ids;
}

} // namespace

bool ProcessInstanceBefore(const QString& a, const QString& b) {
    if ((a == kTotal) != (b == kTotal)) return a == kTotal;
    const auto [nameA, indexA] = SplitIndex(a);
    const auto [nameB, indexB] = SplitIndex(b);
    if (const int c = nameA.compare(nameB, Qt::CaseInsensitive); c != 0) return c < 0;
    if (const int c = nameA.compare(nameB, Qt::CaseSensitive); c != 0) return c < 0;
    return indexA < indexB;
}

std::vector<BrowserInstance> ListBrowserInstances(const QString& object) {
    std::vector<BrowserInstance> out;
    for (const std::u16string& name : zyn::pdh::ListInstances(U16View(object)))
        out.push_back({ToQString(name), ToQString(name)});
    if (object.compare(kProcess, Qt::CaseInsensitive) != 0) return out;
    std::sort(out.begin(), out.end(), [](const BrowserInstance& a, const BrowserInstance& b) {
        return ProcessInstanceBefore(a.pathName, b.pathName);
    });
    const std::vector<double> ids = ProcessIds(out);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (std::isfinite(ids[i])) out[i].display += QStringLiteral(" (PID %1)").arg(qint64(ids[i]));
    return out;
}

#include "EventStatistics.h"

#include "com/unknown.h"

#include <algorithm>

HRESULT EventWindow(IZynDataSet* data, double start, double stop, SampleWindow& out) {
    out = {};
    LONG count = 0, first = 0, last = 0;
    HRESULT hr = data->get_Count(&count);
    if (FAILED(hr)) return hr;
    if (count < 1) return S_OK;
    if (FAILED(hr = data->TimeToIndex(start, &first)) || FAILED(hr = data->TimeToIndex(stop, &last)))
        return hr;
    out.first = std::max<LONG>(first, 0);
    out.last = std::min<LONG>(last, count - 1);
    return S_OK;
}

HRESULT WalkSamples(IZynDataSet* data, const SampleWindow& window, SampleWindowStats& out) {
    out = {};
    if (window.last < window.first) return E_INVALIDARG;
    // One lock for the whole walk: the samples cannot change between the first and the last.
    CComPtr<IZynObjLock> lock;
    HRESULT hr = data->LockObject(&lock);
    if (FAILED(hr)) return hr;
    double v = 0.0;
    if (FAILED(hr = data->GetValueAt(window.first, &v))) return hr;
    out.first = window.first;
    out.last = window.last;
    out.firstValue = out.min = out.max = v;
    out.indexMin = out.indexMax = window.first;
    double sum = v;
    for (LONG i = window.first + 1; i <= window.last; ++i) {
        if (FAILED(hr = data->GetValueAt(i, &v))) return hr;
        sum += v;
        if (v < out.min) {
            out.min = v;
            out.indexMin = i;
        }
        if (v > out.max) {
            out.max = v;
            out.indexMax = i;
        }
    }
    out.sum = sum;
    out.lastValue = v;
    if (lock) lock->Unlock();
    return S_OK;
}

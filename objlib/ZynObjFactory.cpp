#include "ZynObjFactory.h"

#include "ZynApp.h"
#include "ZynChannel.h"
#include "ZynChart.h"

HRESULT CZynObjFactory::Create(LONG i_Index, LONG i_SubIndex, LONG i_Cookie, IUnknown** o_pInterface) {
    if (!o_pInterface) return E_POINTER;
    *o_pInterface = nullptr;
    switch (i_Index) {
    case kCreateApp: {
        auto app = zyn::com::MakeObject<CZynApp>();
        *o_pInterface = static_cast<IZynApp*>(app.Detach());
        return S_OK;
    }
    case kCreateChart: {
        CComPtr<CZynChart> chart = CZynChart::Create();
        // The cookie was a function address in a 32-bit process. Calling an address handed in by a
        // client would run arbitrary code here, so the chart only keeps both values.
        chart->int_SetCreationCallback(i_SubIndex, i_Cookie);
        *o_pInterface = static_cast<IZynChart*>(chart.Detach());
        return S_OK;
    }
    case kCreateChannel: {
        CComPtr<CZynChannel> channel = CZynChannel::Create();
        *o_pInterface = static_cast<IZynChannel*>(channel.Detach());
        return S_OK;
    }
    default:
        return E_FAIL;
    }
}

#pragma once
// The object factory: the one creatable entry point the program uses to make application objects,
// free charts and free channels.

#include "ZynDispatchImpl.h"
#include "objlib/ZynInterfaces.h"

class CZynObjFactory final : public zyn::com::ComRefCount, public CZynDispatchImpl<IZynObjFactory> {
public:
    ZYN_COM_IUNKNOWN(CZynObjFactory, IZynObjFactory, IDispatch)

    static constexpr LONG kCreateApp = 1;
    static constexpr LONG kCreateChart = 2;
    static constexpr LONG kCreateChannel = 3;
    // What the creation callback of a new chart is told.
    static constexpr LONG kChartCreatedCode = 69;

    HRESULT Create(LONG i_Index, LONG i_SubIndex, LONG i_Cookie, IUnknown** o_pInterface) override;
};

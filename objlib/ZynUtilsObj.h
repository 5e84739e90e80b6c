#pragma once
// The Utils class: small services for scripts (time, number parsing and formatting, colours,
// the product's version).

#include "objlib/ZynInterfaces.h"

#include "com/unknown.h"

class CZynUtilsObj final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<IZynUtils> {
public:
    ZYN_COM_IUNKNOWN(CZynUtilsObj, IZynUtils, IDispatch)

    HRESULT Log(BSTR i_String) override;
    HRESULT CurrentTime(VARIANT* o_TimeVal) override;
    HRESULT NoCacheObject(LONG i_Val, LONG* pRet) override;
    HRESULT StringToDouble(BSTR i_String, double* pRet) override;
    HRESULT FormatNumber(double dblVal, VARIANT vtFormat, BSTR* pStrRet) override;
    HRESULT ZynRGB(unsigned char r, unsigned char g, unsigned char b, OLE_COLOR* pColorVal) override;
    HRESULT get_MajorVersion(LONG* pMajorVal) override;
    HRESULT get_MinorVersion(LONG* pMinorVal) override;
    HRESULT get_Build(LONG* pBuildVal) override;
};

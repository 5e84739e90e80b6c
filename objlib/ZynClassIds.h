#pragma once
// Class identifiers and ProgIDs of the library's classes; the ProgID is the source of every error
// object a class raises.

#include "com/guid.h"

#include <string_view>

namespace zyn::obj {

inline constexpr CLSID CLSID_Channel = com::MakeGuid("19B56321-FD01-4518-BB34-6FF6483D29DC");
inline constexpr CLSID CLSID_DataSet = com::MakeGuid("25486C74-6C8B-469B-9569-FEE87C9B262B");
inline constexpr CLSID CLSID_Chart = com::MakeGuid("AB2F8C87-F5FE-4376-A8F9-4BD3B9AC80CA");
inline constexpr CLSID CLSID_Filter = com::MakeGuid("C720CC5B-DAE3-4B90-9390-572CAED71307");
inline constexpr CLSID CLSID_ObjLock = com::MakeGuid("BFC53BB8-66BD-4945-BDCA-9C3458AC92F9");

inline constexpr std::u16string_view kProgIdChannel = u"ZynTallonObj.Channel.1";
inline constexpr std::u16string_view kProgIdDataSet = u"ZynTallonObj.DataSet.1";
inline constexpr std::u16string_view kProgIdChart = u"ZynTallonObj.Chart.1";
inline constexpr std::u16string_view kProgIdFilter = u"ZynTallonObj.Filter.1";
inline constexpr std::u16string_view kProgIdObjLock = u"ZynTallonObj.ObjLock.1";

} // namespace zyn::obj

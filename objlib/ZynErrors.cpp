#include "ZynErrors.h"

#include "com/errorinfo.h"

namespace zyn::obj {

std::u16string_view ProgIdOf(const CLSID& clsid) {
    for (const com::CoClassInfo& c : ZYNTALLONOBJLib_TypeLib().classes)
        if (*c.clsid == clsid) return c.progId;
    return {};
}

HRESULT RaiseError(const CLSID& source, HRESULT hr, std::u16string_view text) {
    return com::RaiseError(hr, text, ProgIdOf(source));
}

} // namespace zyn::obj

#include "interfaceinfo.h"

#include "com/ccombstr.h"

namespace zyn::script {

std::shared_ptr<CInterfaceInfo> CInterfaceInfo::FromTypeInfo(ITypeInfo* typeInfo) {
    if (!typeInfo) return nullptr;
    TYPEATTR* attr = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attr)) || !attr) return nullptr;
    auto info = std::make_shared<CInterfaceInfo>();
    info->m_iid = attr->guid;
    const WORD count = attr->cFuncs;
    typeInfo->ReleaseTypeAttr(attr);

    // Errors name the interface as scripts have always known it, whichever later version adds members.
    CComPtr<ITypeInfo> firstVersion = zyn::com::FirstVersionOf(typeInfo);
    CComBSTR name;
    if (firstVersion && SUCCEEDED(firstVersion->GetDocumentation(-1, &name, nullptr, nullptr, nullptr)))
        info->m_name = name.View();

    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(typeInfo->GetFuncDesc(i, &desc)) || !desc) continue;
        Kinds& k = info->m_kinds[desc->memid];
        switch (desc->invkind) {
        case INVOKE_FUNC:
            k.func = true;
            break;
        case INVOKE_PROPERTYGET:
            k.get = true;
            k.getRequiredParams = desc->cParams - desc->cParamsOpt;
            break;
        case INVOKE_PROPERTYPUT:
        case INVOKE_PROPERTYPUTREF:
            k.put = true;
            break;
        }
        typeInfo->ReleaseFuncDesc(desc);
    }
    return info;
}

MemberKind CInterfaceInfo::KindOf(DISPID id) const {
    auto it = m_kinds.find(id);
    if (it == m_kinds.end()) return MemberKind::Dynamic;
    const Kinds& k = it->second;
    if (k.func) return MemberKind::Method;
    if (k.get && k.getRequiredParams > 0) return MemberKind::Indexed;
    // A property with only a setter is still read as a value: the failed getter then says why.
    return MemberKind::Value;
}

bool CInterfaceInfo::FindName(const std::u16string& folded, MemberInfo* out) const {
    std::lock_guard lock(m_namesMutex);
    auto it = m_names.find(folded);
    if (it == m_names.end()) return false;
    *out = it->second;
    return true;
}

void CInterfaceInfo::RememberName(const std::u16string& folded, MemberInfo info) {
    std::lock_guard lock(m_namesMutex);
    m_names.emplace(folded, info);
}

std::u16string CInterfaceInfo::FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    return folded;
}

} // namespace zyn::script

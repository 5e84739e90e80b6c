#include "ComChecks.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"

namespace zyn::test {

RaisedError TakeError() {
    RaisedError e;
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return e;
    CComBSTR text, source;
    info->GetDescription(&text);
    info->GetSource(&source);
    e.description = text.ToUtf8();
    e.source = source.ToUtf8();
    return e;
}

void ClearError() {
    SetErrorInfo(0, nullptr);
}

void LeakCheckedTest::SetUp() {
    ClearError();
    m_live = zyn::com::LiveObjectCount();
}

void LeakCheckedTest::TearDown() {
    ClearError();
    EXPECT_EQ(zyn::com::LiveObjectCount(), m_live) << "objects leaked or released twice";
}

} // namespace zyn::test

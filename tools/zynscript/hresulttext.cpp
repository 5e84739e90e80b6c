#include "hresulttext.h"

#include "com/hresulttext.h"

namespace zyn::script {

QString DescribeHResult(HRESULT hr) {
    return QString::fromStdU16String(zyn::com::DescribeHResult(hr));
}

QString HResultHex(HRESULT hr) {
    return QString::fromStdU16String(zyn::com::HResultHex(hr));
}

} // namespace zyn::script

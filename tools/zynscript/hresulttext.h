#pragma once
// The text a script sees for a failure that came without a description of its own.

#include "com/hresult.h"

#include <QString>

namespace zyn::script {

QString DescribeHResult(HRESULT hr);

// "0x80070057": the form the host prints next to a description.
QString HResultHex(HRESULT hr);

} // namespace zyn::script

#pragma once
// The text a caller shows for a failure that came without a description of its own: the same
// words whether the call failed in this process or in a server on the bus.

#include "hresult.h"

#include <string>

namespace zyn::com {

std::u16string DescribeHResult(HRESULT hr);

// "0x80070057": the form printed next to a description.
std::u16string HResultHex(HRESULT hr);

} // namespace zyn::com

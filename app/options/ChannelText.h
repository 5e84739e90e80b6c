#pragma once
// Reading the string properties of the object library's objects into the option pages' texts.

#include "display/WideText.h"

#include "objlib/ZynInterfaces.h"

template <typename I> QString ChannelText(I* object, HRESULT (I::*getter)(BSTR*)) {
    CComBSTR text;
    if (!object || FAILED((object->*getter)(&text))) return {};
    return FromBstr(text);
}

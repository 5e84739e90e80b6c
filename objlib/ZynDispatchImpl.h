#pragma once
// The one IDispatch implementation shared by every dual interface of the library: late binding and
// type information come from the tables generated from the type library definition.

#include "objlib/ZynInterfaces.h"

template <class Interface> using CZynDispatchImpl = zyn::com::DispatchImpl<Interface>;

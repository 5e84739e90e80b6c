#include "hresulttext.h"

#include <cstdio>

namespace zyn::com {

std::u16string DescribeHResult(HRESULT hr) {
    switch (hr) {
    case E_NOTIMPL:
        return u"Not implemented";
    case E_NOINTERFACE:
        return u"The object does not support the requested interface";
    case E_POINTER:
        return u"Invalid pointer";
    case E_ABORT:
        return u"Operation aborted";
    case E_FAIL:
        return u"The operation failed";
    case E_UNEXPECTED:
        return u"Unexpected failure";
    case E_ACCESSDENIED:
        return u"Access denied";
    case E_OUTOFMEMORY:
        return u"Out of memory";
    case E_INVALIDARG:
        return u"Invalid argument";
    case CLASS_E_CLASSNOTAVAILABLE:
        return u"The class is not available from its server";
    case REGDB_E_CLASSNOTREG:
        return u"The class is not registered";
    case CO_E_CLASSSTRING:
        return u"Unknown class name";
    case CO_E_DLLNOTFOUND:
        return u"The class's server library could not be loaded";
    case CO_E_OBJNOTCONNECTED:
        return u"The object is no longer connected to its server";
    case CO_E_SERVER_EXEC_FAILURE:
        return u"The server program could not be started";
    case CO_E_SERVER_STOPPING:
        return u"The server is stopping and does not make this class any more";
    case RPC_E_SERVERFAULT:
        return u"The server failed while it handled the call";
    case RPC_E_DISCONNECTED:
        return u"The server of the object has gone away";
    case RPC_E_TIMEOUT:
        return u"The server did not answer in time";
    case DISP_E_MEMBERNOTFOUND:
        return u"The member cannot be used this way";
    case DISP_E_PARAMNOTFOUND:
        return u"Parameter not found";
    case DISP_E_TYPEMISMATCH:
        return u"Type mismatch";
    case DISP_E_UNKNOWNNAME:
        return u"The object has no member of that name";
    case DISP_E_NONAMEDARGS:
        return u"Named arguments are not supported";
    case DISP_E_BADVARTYPE:
        return u"Unsupported value type";
    case DISP_E_EXCEPTION:
        return u"The object raised an error";
    case DISP_E_OVERFLOW:
        return u"Value out of range";
    case DISP_E_BADINDEX:
        return u"Index out of range";
    case DISP_E_BADPARAMCOUNT:
        return u"Wrong number of arguments";
    case DISP_E_PARAMNOTOPTIONAL:
        return u"A required argument is missing";
    default:
        break;
    }
    return u"Automation error " + HResultHex(hr);
}

std::u16string HResultHex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<std::uint32_t>(hr));
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

} // namespace zyn::com

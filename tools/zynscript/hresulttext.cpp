#include "hresulttext.h"

namespace zyn::script {

QString DescribeHResult(HRESULT hr) {
    switch (hr) {
    case E_NOTIMPL:
        return QStringLiteral("Not implemented");
    case E_NOINTERFACE:
        return QStringLiteral("The object does not support the requested interface");
    case E_POINTER:
        return QStringLiteral("Invalid pointer");
    case E_ABORT:
        return QStringLiteral("Operation aborted");
    case E_FAIL:
        return QStringLiteral("The operation failed");
    case E_UNEXPECTED:
        return QStringLiteral("Unexpected failure");
    case E_ACCESSDENIED:
        return QStringLiteral("Access denied");
    case E_OUTOFMEMORY:
        return QStringLiteral("Out of memory");
    case E_INVALIDARG:
        return QStringLiteral("Invalid argument");
    case CLASS_E_CLASSNOTAVAILABLE:
        return QStringLiteral("The class is not available from its server");
    case REGDB_E_CLASSNOTREG:
        return QStringLiteral("The class is not registered");
    case CO_E_CLASSSTRING:
        return QStringLiteral("Unknown class name");
    case CO_E_DLLNOTFOUND:
        return QStringLiteral("The class's server library could not be loaded");
    case DISP_E_MEMBERNOTFOUND:
        return QStringLiteral("The member cannot be used this way");
    case DISP_E_PARAMNOTFOUND:
        return QStringLiteral("Parameter not found");
    case DISP_E_TYPEMISMATCH:
        return QStringLiteral("Type mismatch");
    case DISP_E_UNKNOWNNAME:
        return QStringLiteral("The object has no member of that name");
    case DISP_E_NONAMEDARGS:
        return QStringLiteral("Named arguments are not supported");
    case DISP_E_BADVARTYPE:
        return QStringLiteral("Unsupported value type");
    case DISP_E_EXCEPTION:
        return QStringLiteral("The object raised an error");
    case DISP_E_OVERFLOW:
        return QStringLiteral("Value out of range");
    case DISP_E_BADINDEX:
        return QStringLiteral("Index out of range");
    case DISP_E_BADPARAMCOUNT:
        return QStringLiteral("Wrong number of arguments");
    case DISP_E_PARAMNOTOPTIONAL:
        return QStringLiteral("A required argument is missing");
    default:
        break;
    }
    return QStringLiteral("Automation error %1").arg(HResultHex(hr));
}

QString HResultHex(HRESULT hr) {
    return QStringLiteral("0x%1")
        .arg(static_cast<std::uint32_t>(hr), 8, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QLatin1String("0X"), QLatin1String("0x"));
}

} // namespace zyn::script

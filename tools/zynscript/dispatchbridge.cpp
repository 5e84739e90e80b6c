#include "dispatchbridge.h"

#include "dispatchhandle.h"
#include "hresulttext.h"

#include "com/typeinfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJSEngine>

#include <cmath>
#include <cstring>
#include <limits>

namespace zyn::script {
namespace {

// Nested arrays deeper than this are refused rather than recursed into.
constexpr int kMaxDepth = 32;
// Arrays longer than this are refused before anything is allocated for them.
constexpr qint64 kMaxArrayElements = qint64{1} << 26;
// Handles of collected wrappers are deleted later; sweep them after this many new wrappers so a
// long loop without WScript.Sleep does not hold every object it ever touched.
constexpr unsigned kWrapsPerSweep = 1024;

constexpr double kMsPerDay = 86400000.0;
// 1 January 100 and 1 January 10000, the range automation dates cover.
constexpr double kFirstDate = -657434.0;
constexpr double kEndDate = 2958466.0;

const QDate kDateEpoch(1899, 12, 30);

bool Fail(ConversionError* error, HRESULT hr, QString text) {
    if (error) {
        error->hr = hr;
        error->description = std::move(text);
    }
    return false;
}

QString FromBstr(BSTR s) {
    return QString::fromUtf16(s, static_cast<qsizetype>(SysStringLen(s)));
}

// Bytes per element of the arrays a script's binary and typed arrays become; 0 for any other type.
std::size_t ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
        return 4;
    case VT_R8:
        return 8;
    default:
        return 0;
    }
}

bool IsInt32(double d) {
    return d >= std::numeric_limits<std::int32_t>::min() && d <= std::numeric_limits<std::int32_t>::max() &&
           d == std::trunc(d);
}

QJSValue LoadBridgeScript(QJSEngine* engine) {
    QFile file(QStringLiteral(":/zynscript/bridge.js"));
    if (!file.open(QIODevice::ReadOnly)) qFatal("zynscript: the bridge script is missing from the resources");
    QJSValue helpers =
        engine->evaluate(QString::fromUtf8(file.readAll()), QStringLiteral("zynscript:bridge.js"));
    if (helpers.isError() || !helpers.isCallable()) qFatal("zynscript: the bridge script does not load");
    return helpers.call();
}

// Throws again what the script's own code threw while a value was read, for the script to catch.
bool ScriptThrew(QJSEngine* engine, const QJSValue& thrown, ConversionError* error) {
    engine->throwError(thrown);
    if (error) error->scriptThrew = true;
    return false;
}

} // namespace

bool DateToLocalMsecs(DATE date, qint64* msecsSinceEpoch) {
    if (!std::isfinite(date) || date < kFirstDate || date >= kEndDate) return false;
    // The whole part counts days (negative before the epoch); the fraction always runs forward
    // from that day's midnight.
    const double whole = date >= 0 ? std::floor(date) : std::ceil(date);
    qint64 day = static_cast<qint64>(whole);
    qint64 ms = std::llround(std::fabs(date - whole) * kMsPerDay);
    if (ms >= static_cast<qint64>(kMsPerDay)) {
        ms -= static_cast<qint64>(kMsPerDay);
        day += 1;
    }
    const QDateTime local(kDateEpoch.addDays(day), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
    if (!local.isValid()) return false;
    *msecsSinceEpoch = local.toMSecsSinceEpoch();
    return true;
}

bool LocalMsecsToDate(qint64 msecsSinceEpoch, DATE* date) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    if (!local.isValid() || local.date().year() < 100 || local.date().year() > 9999) return false;
    const double day = static_cast<double>(kDateEpoch.daysTo(local.date()));
    const double fraction = local.time().msecsSinceStartOfDay() / kMsPerDay;
    *date = day >= 0 ? day + fraction : day - fraction;
    return true;
}

CDispatchBridge::CDispatchBridge(QJSEngine* engine) : m_engine(engine) {
    QJSValue helpers = LoadBridgeScript(engine);
    m_wrap = helpers.property(QStringLiteral("wrap"));
    m_classify = helpers.property(QStringLiteral("classify"));
    m_elements = helpers.property(QStringLiteral("elements"));
    m_makeError = helpers.property(QStringLiteral("makeError"));
    m_callMarker = helpers.property(QStringLiteral("callMarker"));
    m_float64 = helpers.property(QStringLiteral("float64"));
    // Kept from the start: a script may replace the global Date.
    m_dateConstructor = engine->globalObject().property(QStringLiteral("Date"));
}

CDispatchBridge::~CDispatchBridge() {
    ReleaseAll();
}

QJSValue CDispatchBridge::Wrap(IDispatch* disp) {
    if (!disp) return QJSValue(QJSValue::NullValue);
    if (++m_wrapsSinceSweep >= kWrapsPerSweep) {
        m_wrapsSinceSweep = 0;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    auto* handle = new CDispatchHandle(this, disp, InterfaceOf(disp));
    QJSEngine::setObjectOwnership(handle, QJSEngine::JavaScriptOwnership);
    return m_wrap.call({m_engine->newQObject(handle)});
}

std::shared_ptr<CInterfaceInfo> CDispatchBridge::InterfaceOf(IDispatch* disp) {
    UINT count = 0;
    if (FAILED(disp->GetTypeInfoCount(&count)) || count == 0) return nullptr;
    CComPtr<ITypeInfo> typeInfo;
    if (FAILED(disp->GetTypeInfo(0, 0, &typeInfo)) || !typeInfo) return nullptr;
    TYPEATTR* attr = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attr)) || !attr) return nullptr;
    const IID iid = attr->guid;
    typeInfo->ReleaseTypeAttr(attr);
    for (const auto& known : m_interfaces)
        if (known->Iid() == iid) return known;
    auto info = CInterfaceInfo::FromTypeInfo(typeInfo);
    if (info) m_interfaces.push_back(info);
    return info;
}

void CDispatchBridge::Attach(CDispatchHandle* handle) {
    m_handles.insert(handle);
}
void CDispatchBridge::Detach(CDispatchHandle* handle) {
    m_handles.erase(handle);
}

void CDispatchBridge::ReleaseAll() {
    auto handles = std::move(m_handles);
    m_handles.clear();
    for (CDispatchHandle* h : handles)
        h->Release();
}

QJSValue CDispatchBridge::MakeError(HRESULT hr, const QString& description, const QString& source) const {
    const QString text = description.isEmpty() ? DescribeHResult(hr) : description;
    return m_makeError.call({QJSValue(static_cast<int>(hr)), QJSValue(text), QJSValue(source)});
}

void CDispatchBridge::ThrowError(HRESULT hr, const QString& description, const QString& source) const {
    m_engine->throwError(MakeError(hr, description, source));
}

bool CDispatchBridge::ToVariant(const QJSValue& value, VARIANT* out, ConversionError* error) const {
    return ToVariantAt(value, out, error, 0);
}

bool CDispatchBridge::ToVariantAt(const QJSValue& value, VARIANT* out, ConversionError* error,
                                  int depth) const {
    VariantInit(out);
    if (value.isUndefined()) return true;
    if (value.isNull()) {
        out->vt = VT_NULL;
        return true;
    }
    if (value.isBool()) {
        out->vt = VT_BOOL;
        out->boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    }
    if (value.isNumber()) {
        const double d = value.toNumber();
        if (IsInt32(d)) {
            out->vt = VT_I4;
            out->lVal = static_cast<LONG>(d);
        } else {
            out->vt = VT_R8;
            out->dblVal = d;
        }
        return true;
    }
    if (value.isString()) {
        const QString s = value.toString();
        BSTR b = zyn::com::AllocBstr(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()),
                                                         static_cast<std::size_t>(s.size())));
        if (!b && !s.isEmpty()) return Fail(error, E_OUTOFMEMORY, DescribeHResult(E_OUTOFMEMORY));
        out->vt = VT_BSTR;
        out->bstrVal = b;
        return true;
    }
    if (value.isDate()) return DateToVariant(value, out, error);
    if (value.isArray()) {
        if (depth >= kMaxDepth)
            return Fail(error, DISP_E_TYPEMISMATCH, QStringLiteral("Arrays are nested too deeply"));
        const QJSValue read = m_elements.call({value, QJSValue(static_cast<double>(kMaxArrayElements))});
        if (!read.property(0).toBool()) return ScriptThrew(m_engine, read.property(1), error);
        const QJSValue items = read.property(1);
        if (items.isNull()) return Fail(error, DISP_E_OVERFLOW, QStringLiteral("The array is too long"));
        const QJSValue numbers = read.property(2);
        if (numbers.isObject())
            return NumbersToVariants(m_engine->fromScriptValue<QByteArray>(numbers), out, error);
        const auto count = static_cast<ULONG>(items.property(QStringLiteral("length")).toNumber());
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
        if (!array) return Fail(error, E_OUTOFMEMORY, DescribeHResult(E_OUTOFMEMORY));
        for (ULONG i = 0; i < count; ++i) {
            VARIANT item;
            if (!ToVariantAt(items.property(i), &item, error, depth + 1)) {
                SafeArrayDestroy(array);
                return false;
            }
            const LONG index = static_cast<LONG>(i);
            const HRESULT hr = SafeArrayPutElement(array, &index, &item);
            VariantClear(&item);
            if (FAILED(hr)) {
                SafeArrayDestroy(array);
                return Fail(error, hr, DescribeHResult(hr));
            }
        }
        out->vt = VT_ARRAY | VT_VARIANT;
        out->parray = array;
        return true;
    }
    if (value.isObject()) {
        const QJSValue classified = m_classify.call({value});
        if (!classified.property(0).toBool()) return ScriptThrew(m_engine, classified.property(1), error);
        const QJSValue kind = classified.property(1);
        if (kind.isQObject()) {
            auto* handle = qobject_cast<CDispatchHandle*>(kind.toQObject());
            if (!handle || !handle->Dispatch())
                return Fail(error, E_UNEXPECTED, QStringLiteral("The object has been released"));
            out->vt = VT_DISPATCH;
            out->pdispVal = handle->Dispatch();
            out->pdispVal->AddRef();
            return true;
        }
        if (kind.isObject()) {
            // A typed array of numbers comes as {vt, buffer}; any other buffer is bytes.
            const QJSValue numberType = kind.property(QStringLiteral("vt"));
            if (numberType.isNumber())
                return BytesToArray(
                    m_engine->fromScriptValue<QByteArray>(kind.property(QStringLiteral("buffer"))),
                    static_cast<VARTYPE>(numberType.toInt()), out, error);
            return BytesToArray(m_engine->fromScriptValue<QByteArray>(kind), VT_UI1, out, error);
        }
    }
    return Fail(error, DISP_E_TYPEMISMATCH,
                QStringLiteral("This kind of value cannot be passed to an automation object"));
}

bool CDispatchBridge::BytesToArray(const QByteArray& bytes, VARTYPE elementType, VARIANT* out,
                                   ConversionError* error) const {
    const std::size_t elementSize = ElementSize(elementType);
    if (elementSize == 0)
        return Fail(error, DISP_E_TYPEMISMATCH,
                    QStringLiteral("This kind of value cannot be passed to an automation object"));
    const auto count = static_cast<qint64>(static_cast<std::size_t>(bytes.size()) / elementSize);
    if (count > kMaxArrayElements)
        return Fail(error, DISP_E_OVERFLOW, QStringLiteral("The array is too long"));
    SAFEARRAY* array = SafeArrayCreateVector(elementType, 0, static_cast<ULONG>(count));
    if (!array) return Fail(error, E_OUTOFMEMORY, DescribeHResult(E_OUTOFMEMORY));
    void* data = nullptr;
    if (count > 0 && SUCCEEDED(SafeArrayAccessData(array, &data)) && data) {
        std::memcpy(data, bytes.constData(), static_cast<std::size_t>(count) * elementSize);
        SafeArrayUnaccessData(array);
    }
    out->vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    out->parray = array;
    return true;
}

bool CDispatchBridge::NumbersToVariants(const QByteArray& doubles, VARIANT* out,
                                        ConversionError* error) const {
    const auto count = static_cast<std::size_t>(doubles.size()) / sizeof(double);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
    if (!array) return Fail(error, E_OUTOFMEMORY, DescribeHResult(E_OUTOFMEMORY));
    void* data = nullptr;
    if (count > 0 && (FAILED(SafeArrayAccessData(array, &data)) || !data)) {
        SafeArrayDestroy(array);
        return Fail(error, E_UNEXPECTED, DescribeHResult(E_UNEXPECTED));
    }
    auto* items = static_cast<VARIANT*>(data);
    for (std::size_t i = 0; i < count; ++i) {
        double d = 0;
        std::memcpy(&d, doubles.constData() + i * sizeof(double), sizeof(double));
        // The types a single number gets (ToVariantAt): numbers hold nothing to release.
        if (IsInt32(d)) {
            items[i].vt = VT_I4;
            items[i].lVal = static_cast<LONG>(d);
        } else {
            items[i].vt = VT_R8;
            items[i].dblVal = d;
        }
    }
    if (count > 0) SafeArrayUnaccessData(array);
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return true;
}

bool CDispatchBridge::DateToVariant(const QJSValue& date, VARIANT* out, ConversionError* error) const {
    const double ms = date.toNumber();
    DATE d = 0;
    if (!std::isfinite(ms) || !LocalMsecsToDate(static_cast<qint64>(ms), &d))
        return Fail(error, DISP_E_OVERFLOW, QStringLiteral("The date is invalid or out of range"));
    out->vt = VT_DATE;
    out->date = d;
    return true;
}

QJSValue CDispatchBridge::DateToScript(DATE date, ConversionError* error) const {
    qint64 ms = 0;
    if (!DateToLocalMsecs(date, &ms)) {
        Fail(error, DISP_E_OVERFLOW, QStringLiteral("The date is invalid or out of range"));
        return QJSValue();
    }
    return m_dateConstructor.callAsConstructor({QJSValue(static_cast<double>(ms))});
}

bool CDispatchBridge::ToScript(const VARIANT& value, QJSValue* out, ConversionError* error) {
    return ToScriptAt(value, out, error, 0);
}

bool CDispatchBridge::ToScriptAt(const VARIANT& value, QJSValue* out, ConversionError* error, int depth) {
    if (depth > kMaxDepth)
        return Fail(error, DISP_E_BADVARTYPE, QStringLiteral("Arrays are nested too deeply"));
    const VARTYPE vt = value.vt;
    if (vt & VT_BYREF) {
        if (!value.byref) return Fail(error, E_POINTER, DescribeHResult(E_POINTER));
        if (vt == (VT_BYREF | VT_VARIANT)) return ToScriptAt(*value.pvarVal, out, error, depth + 1);
        CComVariant plain;
        const HRESULT hr = VariantChangeType(&plain, &value, 0, static_cast<VARTYPE>(vt & ~VT_BYREF));
        if (FAILED(hr)) return Fail(error, hr, DescribeHResult(hr));
        return ToScriptAt(plain, out, error, depth + 1);
    }
    if (vt & VT_ARRAY) return ArrayToScript(value.parray, out, error, depth);

    switch (vt) {
    case VT_EMPTY:
        *out = QJSValue();
        return true;
    case VT_NULL:
        *out = QJSValue(QJSValue::NullValue);
        return true;
    case VT_I1:
        *out = QJSValue(static_cast<int>(static_cast<signed char>(value.cVal)));
        return true;
    case VT_UI1:
        *out = QJSValue(static_cast<int>(value.bVal));
        return true;
    case VT_I2:
        *out = QJSValue(static_cast<int>(value.iVal));
        return true;
    case VT_UI2:
        *out = QJSValue(static_cast<int>(value.uiVal));
        return true;
    case VT_I4:
        *out = QJSValue(static_cast<int>(value.lVal));
        return true;
    case VT_UI4:
        *out = QJSValue(static_cast<double>(value.ulVal));
        return true;
    case VT_INT:
        *out = QJSValue(static_cast<int>(value.intVal));
        return true;
    case VT_UINT:
        *out = QJSValue(static_cast<double>(value.uintVal));
        return true;
    case VT_I8:
        *out = QJSValue(static_cast<double>(value.llVal));
        return true;
    case VT_UI8:
        *out = QJSValue(static_cast<double>(value.ullVal));
        return true;
    case VT_R4:
        *out = QJSValue(static_cast<double>(value.fltVal));
        return true;
    case VT_R8:
        *out = QJSValue(value.dblVal);
        return true;
    case VT_CY:
        *out = QJSValue(static_cast<double>(value.llVal) / 10000.0);
        return true;
    case VT_ERROR:
        *out = QJSValue(static_cast<int>(value.scode));
        return true;
    case VT_BOOL:
        *out = QJSValue(value.boolVal != VARIANT_FALSE);
        return true;
    case VT_BSTR:
        *out = QJSValue(FromBstr(value.bstrVal));
        return true;
    case VT_DATE: {
        ConversionError dateError;
        QJSValue date = DateToScript(value.date, &dateError);
        if (date.isUndefined()) return Fail(error, dateError.hr, dateError.description);
        *out = date;
        return true;
    }
    case VT_DISPATCH:
        *out = Wrap(value.pdispVal);
        return true;
    case VT_UNKNOWN: {
        if (!value.punkVal) {
            *out = QJSValue(QJSValue::NullValue);
            return true;
        }
        CComPtr<IDispatch> disp;
        const HRESULT hr = value.punkVal->QueryInterface(IDispatch::kIID, reinterpret_cast<void**>(&disp));
        if (FAILED(hr) || !disp)
            return Fail(error, E_NOINTERFACE,
                        QStringLiteral("The object returned cannot be used from a script"));
        *out = Wrap(disp);
        return true;
    }
    default:
        break;
    }
    return Fail(error, DISP_E_BADVARTYPE,
                QStringLiteral("A value of type %1 cannot be used from a script").arg(static_cast<int>(vt)));
}

bool CDispatchBridge::ArrayToScript(SAFEARRAY* array, QJSValue* out, ConversionError* error, int depth) {
    if (!array) {
        *out = QJSValue(QJSValue::NullValue);
        return true;
    }
    if (SafeArrayGetDim(array) != 1)
        return Fail(error, DISP_E_BADVARTYPE,
                    QStringLiteral("Only one-dimensional arrays can be used from a script"));
    VARTYPE elementType = VT_EMPTY;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetVartype(array, &elementType)) || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return Fail(error, DISP_E_BADVARTYPE, DescribeHResult(DISP_E_BADVARTYPE));
    const qint64 count = std::max<qint64>(0, qint64{upper} - qint64{lower} + 1);
    if (count > kMaxArrayElements)
        return Fail(error, DISP_E_OVERFLOW, QStringLiteral("The array is too long"));

    if (elementType == VT_UI1 || elementType == VT_I1) {
        if (SafeArrayGetElemsize(array) != 1)
            return Fail(error, DISP_E_BADVARTYPE, DescribeHResult(DISP_E_BADVARTYPE));
        QByteArray bytes;
        void* data = nullptr;
        if (count > 0) {
            if (FAILED(SafeArrayAccessData(array, &data)) || !data)
                return Fail(error, E_UNEXPECTED, DescribeHResult(E_UNEXPECTED));
            bytes = QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(count));
            SafeArrayUnaccessData(array);
        }
        *out = m_engine->toScriptValue(bytes);
        return true;
    }

    // Doubles, the values of whole runs, become a Float64Array: one copy instead of an element each.
    if (elementType == VT_R8 && SafeArrayGetElemsize(array) == sizeof(double)) {
        QByteArray bytes;
        void* data = nullptr;
        if (count > 0) {
            if (FAILED(SafeArrayAccessData(array, &data)) || !data)
                return Fail(error, E_UNEXPECTED, DescribeHResult(E_UNEXPECTED));
            bytes = QByteArray(static_cast<const char*>(data),
                               static_cast<qsizetype>(count * qint64{sizeof(double)}));
            SafeArrayUnaccessData(array);
        }
        *out = m_float64.call({m_engine->toScriptValue(bytes)});
        return true;
    }

    QJSValue list = m_engine->newArray(static_cast<uint>(count));
    for (qint64 i = 0; i < count; ++i) {
        const LONG index = static_cast<LONG>(lower + i);
        VARIANT item;
        VariantInit(&item);
        HRESULT hr;
        if (elementType == VT_VARIANT) {
            hr = SafeArrayGetElement(array, &index, &item);
        } else {
            item.vt = elementType;
            hr = SafeArrayGetElement(array, &index, &item.llVal); // every member starts the union
        }
        if (FAILED(hr)) {
            VariantInit(&item);
            return Fail(error, hr, DescribeHResult(hr));
        }
        QJSValue element;
        const bool ok = ToScriptAt(item, &element, error, depth + 1);
        VariantClear(&item);
        if (!ok) return false;
        list.setProperty(static_cast<quint32>(i), element);
    }
    *out = list;
    return true;
}

} // namespace zyn::script

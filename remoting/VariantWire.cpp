#include "VariantWire.h"

#include "AutomationProtocol.h"

#include "com/bstr.h"

#include <QDBusMetaType>
#include <QDBusSignature>
#include <QDBusUnixFileDescriptor>

#include <cstring>
#include <vector>

namespace zyn::remoting {
namespace {

bool Fail(WireError* error, HRESULT hr, QString text) {
    if (error) {
        error->hr = hr;
        error->description = std::move(text);
    }
    return false;
}

BSTR ToBstr(const QString& s) {
    return zyn::com::AllocBstr(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()),
                                                   static_cast<std::size_t>(s.size())));
}

QString FromBstr(BSTR s) {
    return QString::fromUtf16(s, static_cast<qsizetype>(SysStringLen(s)));
}

QVariant Tagged(VARTYPE vt, const QVariant& payload) {
    return QVariant::fromValue(TaggedValue{vt, QDBusVariant(payload)});
}

// Owns the VARIANTs gathered while an array is read.
class VariantList {
public:
    ~VariantList() {
        for (VARIANT& v : m_items)
            VariantClear(&v);
    }
    VARIANT* Add() {
        m_items.emplace_back();
        VariantInit(&m_items.back());
        return &m_items.back();
    }
    std::size_t Size() const { return m_items.size(); }
    VARIANT& operator[](std::size_t i) { return m_items[i]; }

private:
    std::vector<VARIANT> m_items;
};

bool StringToVariant(const QString& s, VARIANT* out, WireError* error) {
    if (s.size() > kMaxStringChars)
        return Fail(error, E_INVALIDARG,
                    QStringLiteral("A string of %1 characters is too long").arg(s.size()));
    BSTR b = ToBstr(s);
    if (!b) return Fail(error, E_OUTOFMEMORY, QStringLiteral("Out of memory"));
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return true;
}

bool BytesToVariant(const QByteArray& bytes, VARIANT* out, WireError* error) {
    if (bytes.size() > kMaxBytes)
        return Fail(error, E_INVALIDARG,
                    QStringLiteral("A byte array of %1 bytes is too long").arg(bytes.size()));
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) return Fail(error, E_OUTOFMEMORY, QStringLiteral("Out of memory"));
    void* data = nullptr;
    if (!bytes.isEmpty() && SUCCEEDED(SafeArrayAccessData(array, &data)) && data) {
        std::memcpy(data, bytes.constData(), static_cast<std::size_t>(bytes.size()));
        SafeArrayUnaccessData(array);
    }
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
    return true;
}

// The element type of a SAFEARRAY made from a D-Bus array with this element signature.
VARTYPE ElementTypeOf(const QString& elementSignature) {
    if (elementSignature.size() != 1) return VT_VARIANT;
    switch (elementSignature[0].toLatin1()) {
    case 'b':
        return VT_BOOL;
    case 'n':
        return VT_I2;
    case 'q':
        return VT_UI2;
    case 'i':
        return VT_I4;
    case 'u':
        return VT_UI4;
    case 'x':
        return VT_I8;
    case 't':
        return VT_UI8;
    case 'd':
        return VT_R8;
    case 's':
    case 'g':
        return VT_BSTR;
    case 'o':
        return VT_DISPATCH;
    default:
        return VT_VARIANT;
    }
}

bool MakeArray(VariantList& items, VARTYPE elementType, VARIANT* out, WireError* error) {
    SAFEARRAY* array = SafeArrayCreateVector(elementType, 0, static_cast<ULONG>(items.Size()));
    if (!array) return Fail(error, E_OUTOFMEMORY, QStringLiteral("Out of memory"));
    for (std::size_t i = 0; i < items.Size(); ++i) {
        VARIANT& item = items[i];
        HRESULT hr = S_OK;
        if (elementType != VT_VARIANT && item.vt != elementType)
            hr = VariantChangeType(&item, &item, 0, elementType);
        const LONG index = static_cast<LONG>(i);
        if (SUCCEEDED(hr)) {
            if (elementType == VT_VARIANT)
                hr = SafeArrayPutElement(array, &index, &item);
            else if (elementType == VT_BSTR)
                hr = SafeArrayPutElement(array, &index, item.bstrVal);
            else if (elementType == VT_DISPATCH)
                hr = SafeArrayPutElement(array, &index, item.pdispVal);
            else
                hr = SafeArrayPutElement(array, &index, &item.llVal); // every member starts the union
        }
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return Fail(error, hr, QStringLiteral("An array element cannot be converted"));
        }
    }
    out->vt = VT_ARRAY | elementType;
    out->parray = array;
    return true;
}

class Reader {
public:
    Reader(IObjectReferences& refs, WireError* error) : m_refs(refs), m_error(error) {}

    bool Value(const QVariant& in, VARIANT* out, int depth) {
        VariantInit(out);
        if (depth > kMaxNesting)
            return Fail(m_error, E_INVALIDARG, QStringLiteral("Values are nested too deeply"));
        const int type = in.userType();
        if (type == qMetaTypeId<QDBusVariant>())
            return Value(in.value<QDBusVariant>().variant(), out, depth + 1);
        if (type == qMetaTypeId<QDBusArgument>()) return Argument(in.value<QDBusArgument>(), out, depth + 1);
        return Basic(in, out);
    }

private:
    bool Basic(const QVariant& in, VARIANT* out) {
        const int type = in.userType();
        if (type == qMetaTypeId<QDBusObjectPath>()) {
            IDispatch* object = nullptr;
            if (!m_refs.ImportObject(in.value<QDBusObjectPath>(), &object, m_error)) return false;
            out->vt = VT_DISPATCH;
            out->pdispVal = object;
            return true;
        }
        if (type == qMetaTypeId<QDBusSignature>())
            return StringToVariant(in.value<QDBusSignature>().signature(), out, m_error);
        if (type == qMetaTypeId<QDBusUnixFileDescriptor>())
            return Fail(m_error, DISP_E_BADVARTYPE,
                        QStringLiteral("File descriptors cannot be passed to an automation object"));
        switch (type) {
        case QMetaType::Bool:
            out->vt = VT_BOOL;
            out->boolVal = in.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        case QMetaType::UChar:
            out->vt = VT_UI1;
            out->bVal = in.value<uchar>();
            return true;
        case QMetaType::Short:
            out->vt = VT_I2;
            out->iVal = in.value<short>();
            return true;
        case QMetaType::UShort:
            out->vt = VT_UI2;
            out->uiVal = in.value<ushort>();
            return true;
        case QMetaType::Int:
            out->vt = VT_I4;
            out->lVal = in.toInt();
            return true;
        case QMetaType::UInt:
            out->vt = VT_UI4;
            out->ulVal = in.toUInt();
            return true;
        case QMetaType::LongLong:
            out->vt = VT_I8;
            out->llVal = in.toLongLong();
            return true;
        case QMetaType::ULongLong:
            out->vt = VT_UI8;
            out->ullVal = in.toULongLong();
            return true;
        case QMetaType::Double:
            out->vt = VT_R8;
            out->dblVal = in.toDouble();
            return true;
        case QMetaType::QString:
            return StringToVariant(in.toString(), out, m_error);
        case QMetaType::QByteArray:
            return BytesToVariant(in.toByteArray(), out, m_error);
        case QMetaType::QStringList: {
            const QStringList list = in.toStringList();
            if (list.size() > kMaxArrayElements) return TooLong();
            VariantList items;
            for (const QString& s : list)
                if (!StringToVariant(s, items.Add(), m_error)) return false;
            return MakeArray(items, VT_BSTR, out, m_error);
        }
        default:
            break;
        }
        return Fail(m_error, DISP_E_BADVARTYPE,
                    QStringLiteral("A value of type %1 cannot be passed to an automation object")
                        .arg(QString::fromLatin1(in.typeName())));
    }

    bool TooLong() { return Fail(m_error, E_INVALIDARG, QStringLiteral("The array is too long")); }

    bool Argument(const QDBusArgument& arg, VARIANT* out, int depth) {
        if (depth > kMaxNesting)
            return Fail(m_error, E_INVALIDARG, QStringLiteral("Values are nested too deeply"));
        switch (arg.currentType()) {
        case QDBusArgument::BasicType:
            return Basic(arg.asVariant(), out);
        case QDBusArgument::VariantType: {
            QDBusVariant inner;
            arg >> inner;
            return Value(inner.variant(), out, depth + 1);
        }
        case QDBusArgument::ArrayType:
            return Array(arg, out, depth);
        case QDBusArgument::StructureType:
            return Structure(arg, out, depth);
        default:
            break;
        }
        return Fail(m_error, DISP_E_BADVARTYPE,
                    QStringLiteral("A value of signature %1 cannot be passed to an automation object")
                        .arg(arg.currentSignature()));
    }

    bool Array(const QDBusArgument& arg, VARIANT* out, int depth) {
        const QString signature = arg.currentSignature();
        const QString element = signature.mid(1);
        if (element == u"y") {
            QByteArray bytes;
            arg >> bytes;
            return BytesToVariant(bytes, out, m_error);
        }
        if (element.startsWith(u'{'))
            return Fail(m_error, DISP_E_BADVARTYPE,
                        QStringLiteral("Dictionaries cannot be passed to an automation object"));
        VariantList items;
        const CArrayScope scope(arg);
        while (!arg.atEnd()) {
            if (qsizetype(items.Size()) >= kMaxArrayElements) return TooLong();
            if (!Argument(arg, items.Add(), depth + 1)) return false;
        }
        return MakeArray(items, ElementTypeOf(element), out, m_error);
    }

    bool Structure(const QDBusArgument& arg, VARIANT* out, int depth) {
        if (arg.currentSignature() != u"(qv)")
            return Fail(m_error, DISP_E_BADVARTYPE,
                        QStringLiteral("A structure of signature %1 cannot be passed to an automation object")
                            .arg(arg.currentSignature()));
        TaggedValue tagged;
        arg >> tagged;
        return Tag(tagged, out, depth);
    }

    bool Tag(const TaggedValue& tagged, VARIANT* out, int depth) {
        const VARTYPE vt = tagged.vt;
        if (vt == VT_EMPTY) return true;
        if (vt == VT_NULL) {
            out->vt = VT_NULL;
            return true;
        }
        switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_BSTR:
        case VT_ERROR:
            break;
        default:
            return Fail(m_error, DISP_E_BADVARTYPE, QStringLiteral("The value type %1 is not known").arg(vt));
        }
        VARIANT payload;
        if (!Value(tagged.payload.variant(), &payload, depth + 1)) return false;
        HRESULT hr = S_OK;
        if (vt == VT_CY || vt == VT_ERROR) {
            // Carried as their integer representation, not converted by value.
            hr = VariantChangeType(&payload, &payload, 0, vt == VT_CY ? VT_I8 : VT_I4);
            if (SUCCEEDED(hr)) {
                out->vt = vt;
                if (vt == VT_CY)
                    out->llVal = payload.llVal;
                else
                    out->scode = payload.lVal;
            }
        } else {
            hr = VariantChangeType(out, &payload, 0, vt);
        }
        VariantClear(&payload);
        if (FAILED(hr))
            return Fail(m_error, hr, QStringLiteral("The value does not convert to type %1").arg(vt));
        return true;
    }

    IObjectReferences& m_refs;
    WireError* m_error;
};

class Writer {
public:
    Writer(IObjectReferences& refs, WireError* error) : m_refs(refs), m_error(error) {}

    bool Value(const VARIANT& v, QVariant* out, int depth) {
        if (depth > kMaxNesting)
            return Fail(m_error, E_INVALIDARG, QStringLiteral("Values are nested too deeply"));
        if (v.vt == (VT_BYREF | VT_VARIANT)) {
            if (!v.pvarVal) return Fail(m_error, E_POINTER, QStringLiteral("A reference to nothing"));
            return Value(*v.pvarVal, out, depth + 1);
        }
        if (v.vt & VT_BYREF) {
            CComVariant plain;
            const HRESULT hr = VariantChangeType(&plain, &v, 0, static_cast<VARTYPE>(v.vt & ~VT_BYREF));
            if (FAILED(hr)) return Fail(m_error, hr, QStringLiteral("A reference that cannot be followed"));
            return Value(plain, out, depth + 1);
        }
        if (v.vt & VT_ARRAY) return Array(v.parray, out, depth);
        switch (v.vt) {
        case VT_EMPTY:
            *out = Tagged(VT_EMPTY, QString());
            return true;
        case VT_NULL:
            *out = Tagged(VT_NULL, QString());
            return true;
        case VT_I1:
            *out = QVariant::fromValue(static_cast<short>(v.cVal));
            return true;
        case VT_UI1:
            *out = QVariant::fromValue(static_cast<uchar>(v.bVal));
            return true;
        case VT_I2:
            *out = QVariant::fromValue(static_cast<short>(v.iVal));
            return true;
        case VT_UI2:
            *out = QVariant::fromValue(static_cast<ushort>(v.uiVal));
            return true;
        case VT_I4:
        case VT_INT:
            *out = QVariant::fromValue(static_cast<int>(v.lVal));
            return true;
        case VT_UI4:
        case VT_UINT:
            *out = QVariant::fromValue(static_cast<uint>(v.ulVal));
            return true;
        case VT_I8:
            *out = QVariant::fromValue(static_cast<qlonglong>(v.llVal));
            return true;
        case VT_UI8:
            *out = QVariant::fromValue(static_cast<qulonglong>(v.ullVal));
            return true;
        case VT_R4:
            *out = QVariant::fromValue(static_cast<double>(v.fltVal));
            return true;
        case VT_R8:
            *out = QVariant::fromValue(v.dblVal);
            return true;
        case VT_BOOL:
            *out = QVariant::fromValue(v.boolVal != VARIANT_FALSE);
            return true;
        case VT_BSTR:
            *out = QVariant::fromValue(FromBstr(v.bstrVal));
            return true;
        case VT_DATE:
            *out = Tagged(VT_DATE, v.date);
            return true;
        case VT_ERROR:
            *out = Tagged(VT_ERROR, static_cast<int>(v.scode));
            return true;
        case VT_CY:
            *out = Tagged(VT_CY, static_cast<qlonglong>(v.llVal));
            return true;
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            QDBusObjectPath path;
            if (!m_refs.ExportObject(v.punkVal, &path, m_error)) return false;
            *out = QVariant::fromValue(path);
            return true;
        }
        default:
            break;
        }
        return Fail(m_error, DISP_E_BADVARTYPE,
                    QStringLiteral("A value of type %1 cannot cross the bus").arg(v.vt));
    }

private:
    bool Array(SAFEARRAY* array, QVariant* out, int depth) {
        if (!array) {
            *out = Tagged(VT_NULL, QString());
            return true;
        }
        VARTYPE element = VT_EMPTY;
        LONG lower = 0, upper = -1;
        if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &element)) ||
            FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
            return Fail(m_error, DISP_E_BADVARTYPE,
                        QStringLiteral("Only one-dimensional arrays cross the bus"));
        const qint64 count = std::max<qint64>(0, qint64{upper} - qint64{lower} + 1);
        if (count > kMaxArrayElements)
            return Fail(m_error, E_INVALIDARG, QStringLiteral("The array is too long"));
        if (element == VT_UI1 || element == VT_I1) {
            QByteArray bytes;
            void* data = nullptr;
            if (count > 0) {
                if (FAILED(SafeArrayAccessData(array, &data)) || !data)
                    return Fail(m_error, E_UNEXPECTED, QStringLiteral("The array cannot be read"));
                bytes = QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(count));
                SafeArrayUnaccessData(array);
            }
            *out = QVariant::fromValue(bytes);
            return true;
        }
        QVariantList items;
        QStringList strings;
        for (qint64 i = 0; i < count; ++i) {
            const LONG index = static_cast<LONG>(lower + i);
            CComVariant item;
            HRESULT hr;
            if (element == VT_VARIANT) {
                hr = SafeArrayGetElement(array, &index, &item);
            } else {
                item.vt = element;
                hr = SafeArrayGetElement(array, &index, &item.llVal);
                if (FAILED(hr)) item.vt = VT_EMPTY;
            }
            if (FAILED(hr)) return Fail(m_error, hr, QStringLiteral("The array cannot be read"));
            if (element == VT_BSTR) {
                strings << FromBstr(item.bstrVal);
                continue;
            }
            QVariant converted;
            if (!Value(item, &converted, depth + 1)) return false;
            items << converted;
        }
        *out = element == VT_BSTR ? QVariant::fromValue(strings) : QVariant::fromValue(items);
        return true;
    }

    IObjectReferences& m_refs;
    WireError* m_error;
};

} // namespace

void RegisterWireTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<TaggedValue>();
        return true;
    }();
    (void)registered;
}

bool VariantToWire(const VARIANT& value, IObjectReferences& refs, QVariant* out, WireError* error) {
    RegisterWireTypes();
    return Writer(refs, error).Value(value, out, 0);
}

bool VariantToTyped(const VARIANT& value, VARTYPE declared, IObjectReferences& refs, QVariant* out,
                    WireError* error) {
    RegisterWireTypes();
    if (declared == VT_VARIANT) {
        QVariant inner;
        if (!VariantToWire(value, refs, &inner, error)) return false;
        *out = QVariant::fromValue(QDBusVariant(inner));
        return true;
    }
    if (declared == VT_DISPATCH || declared == VT_UNKNOWN) {
        if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
            *out = QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
            return true;
        }
        if (value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN)
            return Fail(error, DISP_E_TYPEMISMATCH, QStringLiteral("An object was expected"));
        return VariantToWire(value, refs, out, error);
    }
    if (SignatureOf(declared).isEmpty())
        return Fail(error, DISP_E_BADVARTYPE,
                    QStringLiteral("A value of type %1 cannot cross the bus").arg(declared));
    CComVariant converted;
    HRESULT hr = VariantChangeType(&converted, &value, 0, declared);
    if (FAILED(hr)) return Fail(error, hr, QStringLiteral("The value does not convert to the declared type"));
    // A typed date is its day number and a typed error code or currency its integer: only a
    // VARIANT keeps the type.
    switch (declared) {
    case VT_DATE:
        *out = QVariant::fromValue(converted.date);
        return true;
    case VT_ERROR:
        *out = QVariant::fromValue(static_cast<int>(converted.scode));
        return true;
    case VT_CY:
        *out = QVariant::fromValue(static_cast<qlonglong>(converted.llVal));
        return true;
    default:
        break;
    }
    return VariantToWire(converted, refs, out, error);
}

bool WireToVariant(const QVariant& in, IObjectReferences& refs, VARIANT* out, WireError* error) {
    RegisterWireTypes();
    return Reader(refs, error).Value(in, out, 0);
}

QString SignatureOf(VARTYPE vt) {
    if (vt & VT_ARRAY) {
        // As the writer sends arrays: bytes and strings by their own types, anything else as
        // variants.
        const VARTYPE element = static_cast<VARTYPE>(vt & ~VT_ARRAY);
        if (element == VT_UI1 || element == VT_I1) return QStringLiteral("ay");
        if (element == VT_BSTR) return QStringLiteral("as");
        return SignatureOf(element).isEmpty() ? QString() : QStringLiteral("av");
    }
    switch (vt) {
    case VT_I1:
    case VT_I2:
        return QStringLiteral("n");
    case VT_UI1:
        return QStringLiteral("y");
    case VT_UI2:
        return QStringLiteral("q");
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        return QStringLiteral("i");
    case VT_UI4:
    case VT_UINT:
        return QStringLiteral("u");
    case VT_I8:
    case VT_CY:
        return QStringLiteral("x");
    case VT_UI8:
        return QStringLiteral("t");
    case VT_R4:
    case VT_R8:
    case VT_DATE:
        return QStringLiteral("d");
    case VT_BOOL:
        return QStringLiteral("b");
    case VT_BSTR:
        return QStringLiteral("s");
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return QStringLiteral("o");
    case VT_VARIANT:
        return QStringLiteral("v");
    default:
        break;
    }
    return {};
}

} // namespace zyn::remoting

QDBusArgument& operator<<(QDBusArgument& arg, const zyn::remoting::TaggedValue& value) {
    arg.beginStructure();
    arg << value.vt << value.payload;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, zyn::remoting::TaggedValue& value) {
    arg.beginStructure();
    arg >> value.vt >> value.payload;
    arg.endStructure();
    return arg;
}

#include "dispatchhandle.h"

#include "dispatchbridge.h"
#include "hresulttext.h"

#include <QJSEngine>

#include <vector>

namespace zyn::script {
namespace {

// More arguments than any automation member takes; a script passing more is refused before
// anything is converted.
constexpr std::size_t kMaxArguments = 256;

// The converted arguments of one call, last first as DISPPARAMS wants them, cleared on scope exit.
// The few arguments of the common calls live here rather than on the heap.
class CallArguments {
public:
    explicit CallArguments(std::size_t count) : m_count(count) {
        if (count > kInline) m_more.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            VariantInit(Data() + i);
    }
    ~CallArguments() {
        for (std::size_t i = 0; i < m_count; ++i)
            VariantClear(Data() + i);
    }
    CallArguments(const CallArguments&) = delete;
    CallArguments& operator=(const CallArguments&) = delete;

    // Slot of the script's argument `i` (counted first to last).
    VARIANT* Slot(std::size_t i) { return Data() + (m_count - 1 - i); }
    VARIANT* Data() { return m_count == 0 ? nullptr : m_count > kInline ? m_more.data() : m_inline; }
    UINT Count() const { return static_cast<UINT>(m_count); }

private:
    static constexpr std::size_t kInline = 4;
    std::size_t m_count;
    VARIANT m_inline[kInline];
    std::vector<VARIANT> m_more;
};

QString FromBstr(BSTR s) {
    return QString::fromUtf16(s, static_cast<qsizetype>(SysStringLen(s)));
}

} // namespace

CDispatchHandle::CDispatchHandle(CDispatchBridge* bridge, IDispatch* disp,
                                 std::shared_ptr<CInterfaceInfo> info)
    : m_bridge(bridge), m_disp(disp), m_info(std::move(info)) {
    m_bridge->Attach(this);
}

CDispatchHandle::~CDispatchHandle() {
    if (m_bridge) m_bridge->Detach(this);
}

void CDispatchHandle::Release() {
    m_disp.Release();
    m_bridge = nullptr;
}

bool CDispatchHandle::CheckUsable() {
    if (m_bridge && m_disp) return true;
    // Without a bridge there is nobody to build the error with; the engine's own will do.
    if (auto* engine = qjsEngine(this))
        engine->throwError(QJSValue::GenericError, QStringLiteral("The object has been released"));
    return false;
}

bool CDispatchHandle::CheckFlags(int flags) {
    if (flags == (DISPATCH_METHOD | DISPATCH_PROPERTYGET) || flags == DISPATCH_PROPERTYGET) return true;
    m_bridge->ThrowError(E_INVALIDARG, QString(), Source());
    return false;
}

QString CDispatchHandle::Source() const {
    return m_info ? QString::fromUtf16(m_info->Name().data(), static_cast<qsizetype>(m_info->Name().size()))
                  : QString();
}

QJSValue CDispatchHandle::resolve(const QString& name) {
    if (!CheckUsable()) return {};
    QJSValue result = qjsEngine(this)->newArray(2);
    MemberInfo member;
    // A NUL would cut the name short at the object, which would then answer for another member.
    if (!name.contains(QChar(u'\0'))) {
        const std::u16string_view text(reinterpret_cast<const char16_t*>(name.utf16()),
                                       static_cast<std::size_t>(name.size()));
        const std::u16string folded = CInterfaceInfo::FoldName(text);
        if (!m_info || !m_info->FindName(folded, &member)) {
            std::u16string zeroTerminated(text);
            LPOLESTR names[] = {zeroTerminated.data()};
            DISPID id = DISPID_UNKNOWN;
            if (SUCCEEDED(m_disp->GetIDsOfNames(GUID_NULL, names, 1, 0, &id))) {
                member.id = id;
                member.kind = m_info ? m_info->KindOf(id) : MemberKind::Dynamic;
                if (m_info) m_info->RememberName(folded, member);
            }
        }
    }
    result.setProperty(0, static_cast<int>(member.kind));
    result.setProperty(1, static_cast<int>(member.id));
    return result;
}

QJSValue CDispatchHandle::invoke0(int id, int flags) {
    if (!CheckUsable() || !CheckFlags(flags)) return {};
    return Invoke(id, static_cast<WORD>(flags), nullptr, 0);
}

QJSValue CDispatchHandle::invoke1(int id, int flags, const QJSValue& a) {
    if (!CheckUsable() || !CheckFlags(flags)) return {};
    return Invoke(id, static_cast<WORD>(flags), &a, 1);
}

QJSValue CDispatchHandle::invoke2(int id, int flags, const QJSValue& a, const QJSValue& b) {
    if (!CheckUsable() || !CheckFlags(flags)) return {};
    const QJSValue args[] = {a, b};
    return Invoke(id, static_cast<WORD>(flags), args, 2);
}

QJSValue CDispatchHandle::invoke(int id, int flags, const QJSValue& args) {
    if (!CheckUsable() || !CheckFlags(flags)) return {};
    const double length = args.property(QStringLiteral("length")).toNumber();
    if (!(length >= 0 && length <= static_cast<double>(kMaxArguments))) {
        m_bridge->ThrowError(DISP_E_BADPARAMCOUNT, QString(), Source());
        return {};
    }
    std::vector<QJSValue> list(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = args.property(static_cast<quint32>(i));
    return Invoke(id, static_cast<WORD>(flags), list.data(), list.size());
}

void CDispatchHandle::put(int id, const QJSValue& value) {
    if (!CheckUsable()) return;
    Invoke(id, DISPATCH_PROPERTYPUT, &value, 1);
}

QJSValue CDispatchHandle::getDynamic(int id) {
    if (!CheckUsable()) return {};
    // Without type information a read is tried as a parameterless get-or-call; a member that
    // insists on arguments is handed out as a function instead.
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    CExcepInfo excep;
    CComVariant result;
    UINT argErr = 0;
    const HRESULT hr = m_disp->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params,
                                      &result, &excep, &argErr);
    if (hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL) return m_bridge->CallMarker();
    if (FAILED(hr)) {
        const HRESULT number = hr == DISP_E_EXCEPTION ? (excep.scode ? excep.scode : E_FAIL) : hr;
        m_bridge->ThrowError(number, hr == DISP_E_EXCEPTION ? FromBstr(excep.bstrDescription) : QString(),
                             hr == DISP_E_EXCEPTION ? FromBstr(excep.bstrSource) : Source());
        return {};
    }
    QJSValue out;
    ConversionError error;
    if (!m_bridge->ToScript(result, &out, &error)) {
        m_bridge->ThrowError(error.hr, error.description, Source());
        return {};
    }
    return out;
}

QJSValue CDispatchHandle::unknown(const QString& name) {
    if (m_bridge)
        m_bridge->ThrowError(DISP_E_UNKNOWNNAME,
                             QStringLiteral("The object has no member named \"%1\"").arg(name), Source());
    else
        CheckUsable();
    return {};
}

QJSValue CDispatchHandle::Invoke(DISPID id, WORD flags, const QJSValue* args, std::size_t count) {
    CallArguments converted(count);
    for (std::size_t i = 0; i < count; ++i) {
        ConversionError error;
        if (!m_bridge->ToVariant(args[i], converted.Slot(i), &error)) {
            if (error.scriptThrew) return {};
            m_bridge->ThrowError(
                error.hr, QStringLiteral("Argument %1: %2").arg(i + 1).arg(error.description), Source());
            return {};
        }
    }
    DISPID putId = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{converted.Data(), isPut ? &putId : nullptr, converted.Count(), isPut ? 1u : 0u};

    CExcepInfo excep;
    CComVariant result;
    UINT argErr = 0;
    const HRESULT hr =
        m_disp->Invoke(id, GUID_NULL, 0, flags, &params, isPut ? nullptr : &result, &excep, &argErr);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION) {
            // An object that filled only the 16-bit code still gets a failure number.
            const HRESULT number = excep.scode   ? excep.scode
                                   : excep.wCode ? static_cast<HRESULT>(0x80040000u | excep.wCode)
                                                 : E_FAIL;
            m_bridge->ThrowError(number, FromBstr(excep.bstrDescription), FromBstr(excep.bstrSource));
            return {};
        }
        QString description = DescribeHResult(hr);
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTFOUND) &&
            argErr < count)
            description += QStringLiteral(" (argument %1)").arg(count - argErr);
        m_bridge->ThrowError(hr, description, Source());
        return {};
    }
    if (isPut) return {};
    QJSValue out;
    ConversionError error;
    if (!m_bridge->ToScript(result, &out, &error)) {
        m_bridge->ThrowError(error.hr, error.description, Source());
        return {};
    }
    return out;
}

} // namespace zyn::script

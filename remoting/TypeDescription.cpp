#include "TypeDescription.h"

#include "AutomationProtocol.h"
#include "VariantWire.h"

#include "com/ccombstr.h"

#include <QDBusMetaType>

namespace zyn::remoting {
namespace {

using zyn::com::MemberKind;

// A malformed reply must not make the client allocate at will.
constexpr qsizetype kMaxMembers = 4096;
constexpr qsizetype kMaxParams = 64;

QString FromBstr(const CComBSTR& b) {
    const std::u16string_view v = b.View();
    return QString::fromUtf16(v.data(), qsizetype(v.size()));
}

quint8 ParamFlagsFrom(USHORT f) {
    quint8 out = 0;
    if (f & PARAMFLAG_FIN) out |= zyn::com::kParamIn;
    if (f & PARAMFLAG_FOUT) out |= zyn::com::kParamOut;
    if (f & PARAMFLAG_FRETVAL) out |= zyn::com::kParamRetval;
    if (f & PARAMFLAG_FOPT) out |= zyn::com::kParamOptional;
    if (f & PARAMFLAG_FHASDEFAULT) out |= zyn::com::kParamHasDefault;
    return out;
}

bool IsIdentifier(const QString& s) {
    if (s.isEmpty() || s.size() > 255 || s[0].isDigit()) return false;
    for (QChar c : s)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_') return false;
    return true;
}

bool IsObjectType(VARTYPE vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

std::optional<WireMember> ReadMember(ITypeInfo* typeInfo, UINT index) {
    FUNCDESC* desc = nullptr;
    if (FAILED(typeInfo->GetFuncDesc(index, &desc)) || !desc) return std::nullopt;
    WireMember m;
    m.id = desc->memid;
    const int kind = desc->invkind == INVOKE_PROPERTYPUTREF ? int(INVOKE_PROPERTYPUT) : int(desc->invkind);
    m.kind = static_cast<quint8>(kind);
    CComBSTR name, help;
    typeInfo->GetDocumentation(desc->memid, &name, &help, nullptr, nullptr);
    m.name = FromBstr(name);
    m.help = FromBstr(help);
    // Parameter names follow the member's name; a property's value has none.
    std::vector<BSTR> names(static_cast<std::size_t>(desc->cParams) + 2, nullptr);
    UINT got = 0;
    typeInfo->GetNames(desc->memid, names.data(), UINT(names.size()), &got);
    for (SHORT i = 0; i < desc->cParams; ++i) {
        WireParam p;
        const std::size_t at = std::size_t(i) + 1;
        p.name = at < got && names[at] ? QString::fromUtf16(names[at], SysStringLen(names[at]))
                                       : QStringLiteral("value");
        p.vt = desc->lprgelemdescParam ? desc->lprgelemdescParam[i].tdesc.vt : VARTYPE(VT_VARIANT);
        p.flags = desc->lprgelemdescParam ? ParamFlagsFrom(desc->lprgelemdescParam[i].paramdesc.wParamFlags)
                                          : quint8(zyn::com::kParamIn);
        m.params << p;
    }
    if (desc->vtReturn != VT_EMPTY) {
        const std::size_t at = std::size_t(desc->cParams) + 1;
        m.params << WireParam{at < got && names[at] ? QString::fromUtf16(names[at], SysStringLen(names[at]))
                                                    : QStringLiteral("result"),
                              desc->vtReturn, quint8(zyn::com::kParamOut | zyn::com::kParamRetval)};
    }
    for (BSTR b : names)
        SysFreeString(b);
    typeInfo->ReleaseFuncDesc(desc);
    return m;
}

QString Escape(const QString& s) {
    return s.toHtmlEscaped();
}

} // namespace

void RegisterTypeDescriptionTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<WireParam>();
        qDBusRegisterMetaType<WireMember>();
        qDBusRegisterMetaType<QList<WireParam>>();
        qDBusRegisterMetaType<QList<WireMember>>();
        return true;
    }();
    (void)registered;
}

std::shared_ptr<const CTypeDescription> CTypeDescription::FromTypeInfo(ITypeInfo* typeInfo) {
    if (!typeInfo) return nullptr;
    TYPEATTR* attr = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attr)) || !attr) return nullptr;
    auto d = std::make_shared<CTypeDescription>();
    d->m_iid = attr->guid;
    const WORD count = attr->cFuncs;
    typeInfo->ReleaseTypeAttr(attr);
    // The bus knows an interface by its first version's name: a later version only adds members.
    CComPtr<ITypeInfo> firstVersion = zyn::com::FirstVersionOf(typeInfo);
    CComBSTR name, help;
    if (firstVersion) firstVersion->GetDocumentation(-1, &name, &help, nullptr, nullptr);
    d->m_name = FromBstr(name);
    d->m_help = FromBstr(help);
    for (UINT i = 0; i < count; ++i)
        if (auto m = ReadMember(typeInfo, i)) d->m_members.push_back(std::move(*m));
    d->Derive();
    d->BuildTable();
    return d;
}

std::shared_ptr<const CTypeDescription> CTypeDescription::FromWire(const QList<QVariant>& arguments) {
    RegisterTypeDescriptionTypes();
    if (arguments.size() != 4 || arguments[3].userType() != qMetaTypeId<QDBusArgument>()) return nullptr;
    auto d = std::make_shared<CTypeDescription>();
    d->m_name = arguments[0].toString();
    d->m_help = arguments[2].toString();
    const auto iid = zyn::com::GuidFromString(arguments[1].toString().toStdU16String());
    if (!iid || !IsIdentifier(d->m_name)) return nullptr;
    d->m_iid = *iid;
    const QDBusArgument arg = arguments[3].value<QDBusArgument>();
    if (arg.currentSignature() != u"a(iyssa(sqy))") return nullptr;
    {
        const CArrayScope scope(arg);
        while (!arg.atEnd()) {
            if (qsizetype(d->m_members.size()) >= kMaxMembers) return nullptr;
            WireMember m;
            arg >> m;
            const bool knownKind = m.kind == quint8(MemberKind::Func) ||
                                   m.kind == quint8(MemberKind::PropGet) ||
                                   m.kind == quint8(MemberKind::PropPut);
            if (!knownKind || !IsIdentifier(m.name) || m.params.size() > kMaxParams) return nullptr;
            d->m_members.push_back(std::move(m));
        }
    }
    d->Derive();
    d->BuildTable();
    return d;
}

QList<QVariant> CTypeDescription::ToWire() const {
    RegisterTypeDescriptionTypes();
    QList<WireMember> members(m_members.begin(), m_members.end());
    return {m_name, QString::fromStdU16String(zyn::com::GuidToString(m_iid)), m_help,
            QVariant::fromValue(members)};
}

void CTypeDescription::Derive() {
    for (const WireMember& m : m_members) {
        QString in, out;
        int optional = 0;
        bool typable = true;
        int inCount = 0;
        for (const WireParam& p : m.params) {
            const QString sig = SignatureOf(p.vt);
            if (sig.isEmpty()) typable = false;
            if (p.flags & zyn::com::kParamRetval) {
                out = sig;
                continue;
            }
            ++inCount;
            in += sig;
            optional = (p.flags & (zyn::com::kParamOptional | zyn::com::kParamHasDefault)) ? optional + 1 : 0;
        }
        if (!typable || !IsIdentifier(m.name)) continue;
        if (m.kind == quint8(MemberKind::Func)) {
            m_methods.push_back(Method{&m, in, out, optional});
            continue;
        }
        // Properties with parameters stay reachable through Invoke only.
        const bool getter = m.kind == quint8(MemberKind::PropGet) && inCount == 0 && !out.isEmpty();
        const bool setter = m.kind == quint8(MemberKind::PropPut) && inCount == 1;
        if (!getter && !setter) continue;
        Property* prop = nullptr;
        for (Property& p : m_properties)
            if (p.name == m.name) prop = &p;
        if (!prop) {
            m_properties.push_back(Property{m.name, getter ? out : in, nullptr, nullptr, false});
            prop = &m_properties.back();
        }
        if (getter) {
            prop->getter = &m;
            prop->signature = out;
            prop->objectValued = IsObjectType(m.params.back().vt);
        } else {
            prop->setter = &m;
        }
    }
}

const CTypeDescription::Method* CTypeDescription::FindMethod(const QString& name) const {
    for (const Method& m : m_methods)
        if (m.member->name == name) return &m;
    return nullptr;
}

const CTypeDescription::Property* CTypeDescription::FindProperty(const QString& name) const {
    for (const Property& p : m_properties)
        if (p.name == name) return &p;
    return nullptr;
}

QString CTypeDescription::IntrospectionXml(const QString& interfaceName) const {
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(Escape(interfaceName));
    // Values are read when asked for; nothing announces changes.
    xml += QStringLiteral("    <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                          "value=\"false\"/>\n");
    for (const Method& method : m_methods) {
        const WireMember& m = *method.member;
        xml += QStringLiteral("    <method name=\"%1\">\n").arg(Escape(m.name));
        for (const WireParam& p : m.params) {
            const bool isOut = p.flags & zyn::com::kParamRetval;
            xml += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"%3\"/>\n")
                       .arg(Escape(p.name), SignatureOf(p.vt),
                            isOut ? QStringLiteral("out") : QStringLiteral("in"));
        }
        xml += QStringLiteral("      <annotation name=\"com.zynthar.Automation.DispId\" value=\"%1\"/>\n")
                   .arg(m.id);
        if (method.optionalTail > 0)
            xml += QStringLiteral("      <annotation name=\"com.zynthar.Automation.OptionalArguments\" "
                                  "value=\"%1\"/>\n")
                       .arg(method.optionalTail);
        xml += QStringLiteral("    </method>\n");
    }
    for (const Property& p : m_properties) {
        const QString access = p.getter && p.setter ? QStringLiteral("readwrite")
                               : p.getter           ? QStringLiteral("read")
                                                    : QStringLiteral("write");
        xml += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"%3\">\n")
                   .arg(Escape(p.name), p.signature, access);
        xml += QStringLiteral("      <annotation name=\"com.zynthar.Automation.DispId\" value=\"%1\"/>\n")
                   .arg((p.getter ? p.getter : p.setter)->id);
        xml += QStringLiteral("      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                              "value=\"false\"/>\n");
        xml += QStringLiteral("    </property>\n");
    }
    xml += QStringLiteral("  </interface>\n");
    return xml;
}

void CTypeDescription::BuildTable() {
    auto keep = [this](const QString& s) -> const char16_t* {
        m_strings.push_back(s.toStdU16String());
        return m_strings.back().c_str();
    };
    m_tableMembers.clear();
    for (const WireMember& m : m_members) {
        std::vector<zyn::com::DispParam>& params = m_params.emplace_back();
        for (const WireParam& p : m.params)
            params.push_back(zyn::com::DispParam{keep(p.name), p.vt, p.flags, 0});
        m_tableMembers.push_back(zyn::com::DispMember{m.id, static_cast<MemberKind>(m.kind), keep(m.name),
                                                      keep(m.help), params, nullptr});
    }
    m_tableIid = m_iid;
    m_table = zyn::com::DispInterface{keep(m_name), &m_tableIid, keep(m_help), m_tableMembers};
}

} // namespace zyn::remoting

QDBusArgument& operator<<(QDBusArgument& arg, const zyn::remoting::WireParam& p) {
    arg.beginStructure();
    arg << p.name << p.vt << p.flags;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, zyn::remoting::WireParam& p) {
    arg.beginStructure();
    arg >> p.name >> p.vt >> p.flags;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const zyn::remoting::WireMember& m) {
    arg.beginStructure();
    arg << m.id << m.kind << m.name << m.help << m.params;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, zyn::remoting::WireMember& m) {
    arg.beginStructure();
    arg >> m.id >> m.kind >> m.name >> m.help >> m.params;
    arg.endStructure();
    return arg;
}

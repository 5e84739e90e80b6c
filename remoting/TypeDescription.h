#pragma once
// One automation interface as the bus sees it: its members read from the type information of an
// exported object (server side) or from a GetTypeInfo reply (client side), the typed D-Bus
// interface derived from them, and, for the client, a member table that backs an ITypeInfo.

#include "com/typeinfo.h"

#include <QDBusArgument>
#include <QList>
#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace zyn::remoting {

struct WireParam {
    QString name;
    quint16 vt = 0;
    quint8 flags = 0; // zyn::com::ParamFlags
};

struct WireMember {
    qint32 id = 0;
    quint8 kind = 0; // zyn::com::MemberKind
    QString name;
    QString help;
    QList<WireParam> params; // as declared, the retval included
};

class CTypeDescription {
public:
    CTypeDescription() = default;
    // The typed view points into the members: never copied.
    CTypeDescription(const CTypeDescription&) = delete;
    CTypeDescription& operator=(const CTypeDescription&) = delete;

    // Reads every member of `typeInfo`; null when it has no type attributes.
    static std::shared_ptr<const CTypeDescription> FromTypeInfo(ITypeInfo* typeInfo);
    // From the arguments of a GetTypeInfo reply; null when they are malformed.
    static std::shared_ptr<const CTypeDescription> FromWire(const QList<QVariant>& arguments);
    // The arguments of a GetTypeInfo reply.
    QList<QVariant> ToWire() const;

    const QString& Name() const { return m_name; }
    const IID& Iid() const { return m_iid; }
    const std::vector<WireMember>& Members() const { return m_members; }

    // The typed D-Bus view: a member function as a method, a parameterless property as a property.
    struct Method {
        const WireMember* member;
        QString inSignature;  // the in-parameters in order
        QString outSignature; // the retval, or empty
        int optionalTail;     // how many trailing in-parameters a caller may leave out
    };
    struct Property {
        QString name;
        QString signature;
        const WireMember* getter = nullptr;
        const WireMember* setter = nullptr;
        bool objectValued = false;
    };
    const Method* FindMethod(const QString& name) const;
    const Property* FindProperty(const QString& name) const;
    const std::vector<Property>& Properties() const { return m_properties; }
    // The <interface> element of the typed view, named `interfaceName`.
    QString IntrospectionXml(const QString& interfaceName) const;

    // A member table without call thunks, for an ITypeInfo that only describes (the client's).
    const zyn::com::DispInterface& Table() const { return m_table; }

private:
    void Derive();
    void BuildTable();

    QString m_name;
    IID m_iid{};
    QString m_help;
    std::vector<WireMember> m_members;
    std::vector<Method> m_methods;
    std::vector<Property> m_properties;

    // Storage behind m_table: stable addresses for the strings and arrays it points into.
    std::deque<std::u16string> m_strings;
    std::deque<std::vector<zyn::com::DispParam>> m_params;
    std::vector<zyn::com::DispMember> m_tableMembers;
    IID m_tableIid{};
    zyn::com::DispInterface m_table{};
};

// Registers the wire structures with QtDBus (idempotent).
void RegisterTypeDescriptionTypes();

} // namespace zyn::remoting

Q_DECLARE_METATYPE(zyn::remoting::WireParam)
Q_DECLARE_METATYPE(zyn::remoting::WireMember)

QDBusArgument& operator<<(QDBusArgument& arg, const zyn::remoting::WireParam& p);
const QDBusArgument& operator>>(const QDBusArgument& arg, zyn::remoting::WireParam& p);
QDBusArgument& operator<<(QDBusArgument& arg, const zyn::remoting::WireMember& m);
const QDBusArgument& operator>>(const QDBusArgument& arg, zyn::remoting::WireMember& m);

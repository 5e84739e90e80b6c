#pragma once
// The fields of a report being built: each name, with its surrounding '#' ("#ChartName#"), maps to
// its text. A name keeps its text until it is set again, so sections built later see what earlier
// ones set.

#include <QHash>
#include <QString>

class CReportFieldMap {
public:
    void Set(const QString& name, const QString& text) { m_fields.insert(name, text); }
    QString Get(const QString& name) const { return m_fields.value(name); }
    bool Has(const QString& name) const { return m_fields.contains(name); }
    void Clear() { m_fields.clear(); }

    // Every field name in `text` replaced by its text, in one pass: what a field brings in (a
    // channel named "#ChartName#", say) is never read as a field again.
    QString Substitute(const QString& text) const;

private:
    QHash<QString, QString> m_fields;
};

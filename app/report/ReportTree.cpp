#include "ReportTree.h"

CReportSection::CReportSection(CReportSection* parent, QString text)
    : m_text(std::move(text)), m_level(parent->m_level + 1), m_parent(parent) {}

CReportSection* CReportSection::AddSection(const QString& text) {
    for (const auto& child : m_children)
        if (child->m_text == text) return child.get();
    m_children.push_back(std::unique_ptr<CReportSection>(new CReportSection(this, text)));
    return m_children.back().get();
}

CReportRow* CReportSection::AddRow(const QString& label, const QString& value, int fontSize, bool fullWidth) {
    for (const auto& row : m_rows)
        if (row->Label() == label) return row.get();
    m_rows.push_back(std::make_unique<CReportRow>(this, label, value, fontSize, fullWidth));
    return m_rows.back().get();
}

void CReportSection::Clear() {
    m_children.clear();
    m_rows.clear();
}

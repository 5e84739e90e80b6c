#pragma once
// The report as a tree: titled sections with label/value rows, built from the template and drawn,
// printed, copied and exported as it stands. Sections and rows belong to their parent section.

#include <QString>

#include <memory>
#include <vector>

class CReportSection;

class CReportRow {
public:
    CReportRow(CReportSection* parent, QString label, QString value, int fontSize, bool fullWidth)
        : m_label(std::move(label)), m_value(std::move(value)), m_parent(parent), m_fontSize(fontSize),
          m_fullWidth(fullWidth) {}

    const QString& Label() const { return m_label; }
    const QString& Value() const { return m_value; }
    CReportSection* Parent() const { return m_parent; }
    // Percent of the report font.
    int FontSize() const { return m_fontSize; }
    // One text across the whole width instead of a label and a value column.
    bool FullWidth() const { return m_fullWidth; }

private:
    QString m_label;
    QString m_value;
    CReportSection* m_parent;
    int m_fontSize;
    bool m_fullWidth;
};

class CReportSection {
public:
    static constexpr int kDefaultFontSize = 100;

    // The root of a report: level 0, no text.
    CReportSection() = default;
    CReportSection(const CReportSection&) = delete;
    CReportSection& operator=(const CReportSection&) = delete;

    // The child with this text, made when there is none yet: sections of equal text share their
    // rows.
    CReportSection* AddSection(const QString& text);
    // The row with this label (exact comparison), added when there is none yet; an existing row is
    // returned unchanged.
    CReportRow* AddRow(const QString& label, const QString& value, int fontSize = kDefaultFontSize,
                       bool fullWidth = false);
    // Drops every child section and row.
    void Clear();

    const QString& Text() const { return m_text; }
    int Level() const { return m_level; }
    CReportSection* Parent() const { return m_parent; }
    int FontSize() const { return m_fontSize; }
    void SetFontSize(int percent) { m_fontSize = percent; }
    // The printed page the section is on; set by pagination, meaningless on screen.
    int Page() const { return m_page; }
    void SetPage(int page) { m_page = page; }
    const std::vector<std::unique_ptr<CReportSection>>& Children() const { return m_children; }
    const std::vector<std::unique_ptr<CReportRow>>& Rows() const { return m_rows; }
    bool IsEmpty() const { return m_children.empty() && m_rows.empty(); }

private:
    CReportSection(CReportSection* parent, QString text);

    QString m_text;
    int m_level = 0;
    int m_fontSize = kDefaultFontSize;
    int m_page = 0;
    CReportSection* m_parent = nullptr;
    std::vector<std::unique_ptr<CReportSection>> m_children;
    std::vector<std::unique_ptr<CReportRow>> m_rows;
};

#pragma once
// The "Report Fields" page: which rows the report shows, one bit mask per report section. The
// sections and their rows come from the report template: a section's rows are listed by their
// description, checked when their bit is set in the section's mask, with their help text below.

#include "OptionPage.h"
#include "display/ChartSettings.h"
#include "report/ReportTemplate.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

class CReportFieldsPage : public COptionPage {
    Q_OBJECT
public:
    static constexpr int kSections = 4;
    // The sections and rows of the report template; nothing when it cannot be loaded.
    using TemplateLoader = std::function<std::optional<std::vector<ReportFieldSection>>()>;

    // Without a loader the page reads the program's built-in template.
    explicit CReportFieldsPage(ChartSettings& working, const TemplateLoader& loader = {},
                               QWidget* parent = nullptr);
    ~CReportFieldsPage() override;

    void UpdateData() override;
    // What choosing a section radio does: the shown section's checks go into its mask first.
    void ShowSection(int section);
    void SelectAll();
    void SelectNone();

    bool TemplateLoaded() const { return m_loaded; }
    int Section() const { return m_section; }
    // The masks as the controls hold them now.
    std::array<std::uint32_t, kSections> Masks();
    QRadioButton* SectionRadio(int section) const { return m_radios.at(std::size_t(section)); }
    QListWidget* FieldList() const { return m_list; }
    QLabel* HelpText() const { return m_help; }
    QLabel* ErrorText() const { return m_error; }
    QPushButton* SelectAllButton() const { return m_all; }
    QPushButton* SelectNoneButton() const { return m_none; }

private:
    void FoldChecks();
    void SetAllChecks(bool checked);

    ChartSettings& m_working;
    bool m_loaded = false;
    std::vector<ReportFieldSection> m_sections;
    std::array<std::uint32_t, kSections> m_masks{};
    int m_section = 0;
    std::array<QRadioButton*, kSections> m_radios{};
    QListWidget* m_list = nullptr;
    QLabel* m_help = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_all = nullptr;
    QPushButton* m_none = nullptr;
};

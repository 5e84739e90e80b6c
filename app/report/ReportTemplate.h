#pragma once
// The report template: the program's file resource 162, a text in the program's XML dialect whose
// top-level elements are the section templates ("Chart", "Channel", "Event", "Summary",
// "EvtChannel"). Rows carry the bit of their section's field mask that shows them, and a name and
// help text for the "Report Fields" page, which reads them through ReportFieldSections.

#include "xml/CXmlNode.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

inline constexpr int kReportTemplateResource = 162;
// "Failed to load the report template"
inline constexpr int kReportTemplateFailedText = 50108;

// Element and attribute names of the template dialect (element names compare exactly).
namespace ReportTag {
inline constexpr std::u16string_view Chart = u"Chart";
inline constexpr std::u16string_view Channel = u"Channel";
inline constexpr std::u16string_view Event = u"Event";
inline constexpr std::u16string_view EvtChannel = u"EvtChannel";
inline constexpr std::u16string_view Summary = u"Summary";
inline constexpr std::u16string_view Header = u"Header";
inline constexpr std::u16string_view SectionHeader = u"SectionHeader";
inline constexpr std::u16string_view Item = u"Item";
inline constexpr std::u16string_view FullItem = u"FullItem";
} // namespace ReportTag

// The field masks of the chart settings, by section.
enum ReportMask : int { kMaskChart = 0, kMaskChannel = 1, kMaskEvent = 2, kMaskSummary = 3 };
// The summary mask's bit that prints page numbers on a printed report.
inline constexpr std::uint32_t kPageNumbersBit = 0x2;

// Parses a template text: everything from the first "##END" on is cut off, the XML is read from the
// first "<?xml" into a root named "<root>". Null when the text does not parse.
std::unique_ptr<CXmlNode> ParseReportTemplate(std::u16string_view text);
// The built-in template (resource 162), parsed anew on every call; null when it cannot be read.
std::unique_ptr<CXmlNode> LoadReportTemplate();

// The first top-level element of that name, compared exactly; null when there is none.
const CXmlNode* FindTemplateElement(const CXmlNode& parent, std::u16string_view name);

// One row of a section as the "Report Fields" page lists it.
struct ReportField {
    QString desc;          // its name in the list
    QString help;          // shown below the list when it is selected
    std::uint32_t bit = 0; // the bit of the section's field mask
};
// A section of the page: the caption is the name of the template element.
struct ReportFieldSection {
    QString name;
    std::vector<ReportField> fields;
};
// The first four top-level elements of the template in order, one for each field mask (0 Chart,
// 1 Channel, 2 Event, 3 Summary), each with its child elements other than the headers.
std::vector<ReportFieldSection> ReportFieldSections(const CXmlNode& root);
// The same for the built-in template; nothing when it cannot be loaded.
std::optional<std::vector<ReportFieldSection>> LoadReportFieldSections();

#include "ReportTemplate.h"

#include "display/WideText.h"
#include "resources/ZynFiles.h"

namespace {

constexpr std::u16string_view kEndMark = u"##END";

bool IsHeader(const CXmlNode& node) {
    return node.GetName() == ReportTag::Header || node.GetName() == ReportTag::SectionHeader;
}

} // namespace

std::unique_ptr<CXmlNode> ParseReportTemplate(std::u16string_view text) {
    if (const std::size_t end = text.find(kEndMark); end != std::u16string_view::npos)
        text = text.substr(0, end);
    auto root = std::make_unique<CXmlNode>(u"<root>");
    if (!root->Load(text)) return nullptr;
    return root;
}

std::unique_ptr<CXmlNode> LoadReportTemplate() {
    const std::optional<QString> text = LoadZynFileResource(kReportTemplateResource);
    if (!text) return nullptr;
    return ParseReportTemplate(U16View(*text));
}

const CXmlNode* FindTemplateElement(const CXmlNode& parent, std::u16string_view name) {
    return parent.FindChild(name, nullptr, false);
}

std::vector<ReportFieldSection> ReportFieldSections(const CXmlNode& root) {
    std::vector<ReportFieldSection> sections;
    for (int i = 0; i < root.GetChildCount() && sections.size() < 4; ++i) {
        const CXmlNode& element = *root.GetChildAt(i);
        ReportFieldSection section{ToQString(element.GetName()), {}};
        for (int k = 0; k < element.GetChildCount(); ++k) {
            const CXmlNode& row = *element.GetChildAt(k);
            if (IsHeader(row)) continue;
            section.fields.push_back({ToQString(row.GetAttributeString(u"Desc")),
                                      ToQString(row.GetAttributeString(u"Help")),
                                      row.GetAttributeHex(u"Bit")});
        }
        sections.push_back(std::move(section));
    }
    return sections;
}

std::optional<std::vector<ReportFieldSection>> LoadReportFieldSections() {
    const std::unique_ptr<CXmlNode> root = LoadReportTemplate();
    if (!root) return std::nullopt;
    return ReportFieldSections(*root);
}

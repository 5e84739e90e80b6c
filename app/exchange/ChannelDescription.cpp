#include "ChannelDescription.h"

#include "xml/CXmlNode.h"

#include <charconv>
#include <memory>

namespace zyn::clipboard {

namespace {

std::u16string Decimal(std::uint64_t n) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    return std::u16string(digits, ec == std::errc() ? end : digits);
}

std::uint64_t ParseDecimal(const std::u16string& text) {
    std::uint64_t n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        n = n * 10 + std::uint64_t(c - u'0');
    }
    return n;
}

} // namespace

std::u16string WriteChannelDescription(const ChannelDescription& description) {
    CXmlNode root(u"root");
    auto data = std::make_unique<CXmlNode>(u"Data");
    data->SetAttribute(u"Owner", Decimal(description.owner), true);
    data->SetAttribute(u"Chart", description.chart, true);
    data->SetAttribute(u"Channel", description.channel, true);
    data->SetAttribute(u"Name", description.name, true);
    data->SetAttributeInt(u"Action", description.action, true);
    root.AddChild(std::move(data));
    return root.ToText(false);
}

bool ReadChannelDescription(std::u16string_view text, ChannelDescription& description) {
    description = {};
    CXmlNode root(u"root");
    if (!root.Load(text)) return false;
    const CXmlNode* data = root.FindNode(u"m:Zynthar\\Data");
    if (!data) return false;
    description.owner = ParseDecimal(data->GetAttributeString(u"Owner"));
    description.chart = data->GetAttributeString(u"Chart");
    description.channel = data->GetAttributeString(u"Channel");
    description.name = data->GetAttributeString(u"Name");
    description.action = data->GetAttributeInt(u"Action", 0);
    return true;
}

} // namespace zyn::clipboard

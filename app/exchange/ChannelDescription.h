#pragma once
// The description of a copied channel that travels on the clipboard and in drags: which program
// window it came from, which chart and channel it names, and whether it was copied or cut. It is a
// document of the program's XML dialect: a "Data" element with the attributes "Owner", "Chart",
// "Channel", "Name" and "Action", stored escaped, inside the namespace element.

#include <cstdint>
#include <string>
#include <string_view>

namespace zyn::clipboard {

enum class ChannelAction : int { Copy = 0, Cut = 1 };

struct ChannelDescription {
    std::uint64_t owner = 0; // the source document within this running program
    std::u16string chart;    // the chart's Identifier
    std::u16string channel;  // the channel's Identifier
    std::u16string name;     // the channel's display name
    int action = 0;          // ChannelAction; a reader keeps any number it finds
};

// The compact text of the description document (declaration, namespace element, one Data element).
std::u16string WriteChannelDescription(const ChannelDescription& description);

// Reads a description text. False when the text does not parse or holds no "m:Zynthar\Data"
// element; missing attributes read as empty texts, a missing or unreadable "Action" as 0.
[[nodiscard]] bool ReadChannelDescription(std::u16string_view text, ChannelDescription& description);

} // namespace zyn::clipboard

#pragma once
// The percent escaping of the program's XML dialect. Attribute values and texts that hold free
// text are stored escaped so that their written form contains no quotes, spaces or markup
// characters; the reader undoes it for quoted attribute values.

#include <string>
#include <string_view>

// ASCII letters and digits stay, a space becomes '+', every other unit becomes '%' and its code in
// lower-case hexadecimal, at least two digits (a unit above 0xFF gives more digits, so such units do
// not come back unchanged from XmlUnescape).
std::u16string XmlEscape(std::u16string_view s);

// '+' becomes a space and '%' with two hexadecimal digits becomes the unit they give. A '%' that is
// not followed by two hexadecimal digits is kept as it stands, as is every other unit.
std::u16string XmlUnescape(std::u16string_view s);

// Arbitrary text through the XML reader (as UTF-8 or UTF-16, like a file or a clipboard payload),
// then through every reading operation and back through the writer. Two properties are checked:
// percent escaping round-trips every code up to 0xFF, and a tree whose names, values and texts are
// escaped survives writing and reading unchanged.

#include "xml/CXmlNode.h"
#include "xml/XmlEscape.h"

#include "com/bstr.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void ReadEverything(const CXmlNode& n) {
    for (int i = 0; i < n.GetAttributeCount(); ++i) {
        const std::u16string& name = *n.GetAttributeName(i);
        Check(n.FindAttributeIndex(name) <= i);
        n.GetAttributeInt(name, 7, true);
        n.GetAttributeHex(name, 7, true);
        n.GetAttributeString(u"x\\" + name, u"d", true);
    }
    n.GetNode(n.GetName() + u"\\a\\b").GetAttributeString(u"CDATA");
    for (int i = 0; i < n.GetChildCount(); ++i) {
        const CXmlNode* child = n.GetChildAt(i);
        Check(child->GetParent() == &n);
        Check(n.FindChild(child->GetName()) != nullptr);
        ReadEverything(*child);
    }
}

// The same tree with every name, value and text escaped, so that nothing in it is markup. An element
// needs a name for its attributes to be read back ("< a=1>" is an element named "a=1").
void CopyEscaped(const CXmlNode& from, CXmlNode& to) {
    to.SetTextEscaped(from.GetText());
    for (int i = 0; i < from.GetAttributeCount(); ++i)
        to.SetAttribute(XmlEscape(*from.GetAttributeName(i)), *from.GetAttributeValue(i), true);
    for (int i = 0; i < from.GetChildCount(); ++i) {
        const CXmlNode* child = from.GetChildAt(i);
        const std::u16string name = child->GetName().empty() ? u"unnamed" : XmlEscape(child->GetName());
        CopyEscaped(*child, *to.AddChild(std::make_unique<CXmlNode>(name)));
    }
}

// Read back, a quoted value comes unescaped; names and texts come as written.
void CheckSame(const CXmlNode& written, const CXmlNode& read) {
    Check(written.GetName() == read.GetName());
    Check(written.GetText() == read.GetText());
    Check(written.GetAttributeCount() == read.GetAttributeCount());
    for (int i = 0; i < written.GetAttributeCount(); ++i) {
        Check(*written.GetAttributeName(i) == *read.GetAttributeName(i));
        Check(XmlUnescape(*written.GetAttributeValue(i)) == *read.GetAttributeValue(i));
    }
    Check(written.GetChildCount() == read.GetChildCount());
    for (int i = 0; i < written.GetChildCount(); ++i)
        CheckSame(*written.GetChildAt(i), *read.GetChildAt(i));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    std::u16string text;
    if (mode & 1) {
        for (std::size_t i = 0; i + 1 < size; i += 2)
            text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    } else {
        text = zyn::com::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    }

    std::u16string latin1;
    for (char16_t c : text)
        latin1 += static_cast<char16_t>(c & 0xFF);
    Check(XmlUnescape(XmlEscape(latin1)) == latin1);

    CXmlNode root(u"<root>");
    CXmlNode* top = root.Load(text);
    ReadEverything(root);
    const std::u16string pretty = root.ToText(true);
    const std::u16string compact = root.ToText(false);

    CXmlNode again;
    again.Load(mode & 2 ? pretty : compact);

    CXmlNode copy(u"copy");
    copy.CopyFrom(root, (mode & 4) != 0);
    if (top) copy.CopyFrom(*top, true);

    CXmlNode escaped(u"root");
    CopyEscaped(root, escaped);
    CXmlNode back;
    const CXmlNode* ns = back.Load(escaped.ToText((mode & 2) != 0));
    // The only way for such a document to fail is a tag or text beyond the reader's limit.
    if (ns) {
        Check(ns != &back && ns->GetChildCount() == escaped.GetChildCount());
        for (int i = 0; i < escaped.GetChildCount(); ++i)
            CheckSame(*escaped.GetChildAt(i), *ns->GetChildAt(i));
    }
    return 0;
}

#pragma once
// CXmlNode: one element of the program's own small XML dialect, and with its children a whole
// document. The dialect knows elements, attributes, text, CDATA sections (kept as an attribute named
// "CDATA") and the leading declaration; it escapes free text with the percent scheme of XmlEscape.h
// rather than with entities, and wraps every written document in the namespace element "m:Zynthar".
//
// Names of elements and attributes are normalised whenever they are stored or looked up: every space
// becomes '_'. Lookups by name ignore ASCII case unless asked otherwise. A parent owns its children;
// "none" results are null pointers.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The name of the namespace element and the value of its "xmlns:m" attribute.
inline constexpr std::u16string_view kXmlNamespaceElement = u"m:Zynthar";
inline constexpr std::u16string_view kXmlNamespaceUri = u"urn:zynthar:tallon";

class CXmlNode {
public:
    struct Attribute {
        std::u16string name;
        std::u16string value;
    };

    // The namespace element: "m:Zynthar" with "xmlns:m" set to kXmlNamespaceUri.
    CXmlNode();
    explicit CXmlNode(std::u16string_view name);
    ~CXmlNode();
    CXmlNode(const CXmlNode&) = delete;
    CXmlNode& operator=(const CXmlNode&) = delete;

    // Destroys every child and every attribute. The node itself stays where it is in its parent.
    void Clear();

    // Takes the node over as the last child; returns it (null for null).
    CXmlNode* AddChild(std::unique_ptr<CXmlNode> node);
    // The first child of that name (ignoring case), else a new last child of that name.
    CXmlNode* GetOrAddChild(std::u16string_view name);
    // The first child of that name after `after` (from the start when null). Passing the previous
    // result walks every child of one name.
    CXmlNode* FindChild(std::u16string_view name, const CXmlNode* after = nullptr, bool ignoreCase = true);
    const CXmlNode* FindChild(std::u16string_view name, const CXmlNode* after = nullptr,
                              bool ignoreCase = true) const;
    CXmlNode* GetChildAt(int i);
    const CXmlNode* GetChildAt(int i) const;
    int GetChildCount() const { return static_cast<int>(m_children.size()); }
    CXmlNode* GetParent() { return m_parent; }
    const CXmlNode* GetParent() const { return m_parent; }
    int GetDepth() const;

    const std::u16string& GetName() const { return m_name; }
    // A root named "<root>" keeps its name.
    void SetName(std::u16string_view name);

    // Replaces the value of an existing attribute of that name (ignoring case) in its place, or
    // appends a new one. The value is stored escaped when `escape` is true. A null value removes the
    // attribute.
    void SetAttribute(std::u16string_view name, std::u16string_view value, bool escape = false);
    void SetAttribute(std::u16string_view name, const char16_t* value, bool escape = false);
    void SetAttributeInt(std::u16string_view name, int number, bool escape = false);
    void RemoveAttribute(std::u16string_view name);
    int FindAttributeIndex(std::u16string_view name, bool ignoreCase = true) const;
    const std::u16string* GetAttributeName(int i) const;
    const std::u16string* GetAttributeValue(int i) const;
    int GetAttributeCount() const { return static_cast<int>(m_attributes.size()); }

    // `path` is child names separated by '\' ending in an attribute name ("Data\Name"); the stored
    // value, or null.
    const std::u16string* GetAttribute(std::u16string_view path) const;
    // With `inherit`, a path not found here is tried from the parent, the grandparent and so on.
    std::u16string GetAttributeString(std::u16string_view path, std::u16string_view def = {},
                                      bool inherit = false) const;
    // Decimal, read as far as it goes and clamped to the int range ("12px" is 12, "x" is 0).
    int GetAttributeInt(std::u16string_view path, int def = 0, bool inherit = false) const;
    // Hexadecimal with an optional "0x", as an unsigned 32-bit value so that every mask bit reads
    // back ("0x80000000" is bit 31); larger values give 0xFFFFFFFF.
    std::uint32_t GetAttributeHex(std::u16string_view path, std::uint32_t def = 0,
                                  bool inherit = false) const;

    // Stored trimmed of leading and trailing white space; null empties the text.
    void SetText(std::u16string_view text);
    void SetText(const char16_t* text);
    void SetTextEscaped(std::u16string_view text);
    void SetTextEscaped(const char16_t* text);
    const std::u16string& GetText() const { return m_text; }

    // Walks down one child per part of `path`, split at any of `separators` ("\" when empty); empty
    // parts are skipped. Null when a part is missing or there are no parts.
    CXmlNode* FindNode(std::u16string_view path, bool ignoreCase = true, std::u16string_view separators = {});
    const CXmlNode* FindNode(std::u16string_view path, bool ignoreCase = true,
                             std::u16string_view separators = {}) const;
    // As FindNode, but a missing node is one shared empty node, so that chained reads need no checks.
    const CXmlNode& GetNode(std::u16string_view path, bool ignoreCase = true,
                            std::u16string_view separators = {}) const;

    // The document text of this node's children: the declaration line, the namespace element around
    // them unless a child is that element, and every child but one named "?xml". Values and texts are
    // written as stored.
    std::u16string ToText(bool pretty = true) const;

    // Clears this node and parses the text into it. Null for a null text or a failed parse (this node
    // then holds what was read before the fault); else the child "m:Zynthar" if there is one, else
    // this node.
    CXmlNode* Load(std::u16string_view text);
    CXmlNode* Load(const char16_t* text);
    // As Load, for a UTF-8 file (UTF-16 with a byte-order mark also reads) whose lines are joined
    // without separators. Null when the file cannot be read.
    CXmlNode* LoadFile(const std::filesystem::path& path);

    // Copies the subtree of `source` (text trimmed, attributes as stored, every child as a new child)
    // into GetOrAddChild(source name) when `asChild`, else into this node; returns the node copied
    // into. `source` may be this node or lie in its subtree.
    CXmlNode* CopyFrom(const CXmlNode& source, bool asChild);

private:
    std::unique_ptr<CXmlNode> int_Clone() const;
    void int_AppendAttribute(std::u16string name, std::u16string value);
    void int_Write(std::u16string& out, bool pretty) const;

    std::vector<Attribute> m_attributes;
    // Position of each attribute by its case-folded name (names are unique ignoring case), so that an
    // element with very many attributes does not make reading quadratic.
    std::unordered_map<std::u16string, int> m_attributeIndex;
    std::vector<std::unique_ptr<CXmlNode>> m_children;
    std::u16string m_name;
    CXmlNode* m_parent = nullptr;
    std::u16string m_text;
};

#pragma once
// The reader behind CXmlNode::Load: a forgiving tag scanner, not a conforming XML parser. It skips
// everything before "<?xml", reads unquoted and bare attributes, keeps CDATA sections as an
// attribute, and knows no comments, DOCTYPE or entities (they are read as ordinary tags and text).

#include <cstddef>
#include <string>
#include <string_view>

class CXmlNode;

class CXmlReader {
public:
    // A tag or a text run between tags may hold at most kWorkBufferChars - 1 characters; longer
    // input fails the parse. CDATA sections have no such limit.
    static constexpr std::size_t kWorkBufferChars = 4096;
    // Elements nested deeper than this below the root fail the parse, so that hostile input cannot
    // exhaust the stack of the recursive writer and destructor.
    static constexpr int kMaxDepth = 256;

    explicit CXmlReader(CXmlNode& root) : m_root(root) {}

    // Parses into the root, which the caller has cleared. False when the text has no "<?xml", a CDATA
    // section is not closed, a tag or text run is too long, or elements nest too deep.
    [[nodiscard]] bool Parse(std::u16string_view text);

private:
    void int_Text(std::u16string_view run);
    [[nodiscard]] bool int_Tag(std::u16string_view raw);
    void int_Attributes(std::u16string_view rest);
    void int_Store(const std::u16string& name, const std::u16string& value);
    void int_CloseCurrent();

    CXmlNode& m_root;
    CXmlNode* m_current = nullptr; // null while closing tags have walked above the root
    int m_depth = 0;
};

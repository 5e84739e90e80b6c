#include "CXmlReader_p.h"

#include "CXmlNode.h"
#include "XmlEscape.h"

#include "utils/ZynWhiteSpace.h"

#include <memory>

namespace {

constexpr auto npos = std::u16string_view::npos;
constexpr std::u16string_view kCdataOpen = u"<![CDATA[";
constexpr std::u16string_view kCdataClose = u"]]>";

// Line breaks and tabs count as spaces inside tags and texts.
std::u16string Flatten(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if (c == u'\n' || c == u'\t' || c == u'\r') c = u' ';
    return out;
}

} // namespace

bool CXmlReader::Parse(std::u16string_view text) {
    const std::size_t start = text.find(u"<?xml");
    if (start == npos) return false;
    text.remove_prefix(start);
    m_current = &m_root;
    m_depth = 0;

    // The next '<' and '>' at or after the cursor, found once and kept until the cursor passes them,
    // so that long runs without markup cost linear time.
    std::size_t pos = 0;
    std::size_t lt = text.find(u'<');
    std::size_t gt = text.find(u'>');
    while (pos < text.size()) {
        if (lt != npos && lt < pos) lt = text.find(u'<', pos);
        if (gt != npos && gt < pos) gt = text.find(u'>', pos);

        if (lt != npos && text.substr(lt).starts_with(kCdataOpen)) {
            const std::size_t body = lt + kCdataOpen.size();
            const std::size_t end = text.find(kCdataClose, body);
            if (end == npos) return false;
            if (m_current) m_current->SetAttribute(u"CDATA", text.substr(body, end - body), false);
            pos = end + kCdataClose.size();
            continue;
        }
        if (lt == npos) break; // nothing but characters that no tag will ever take
        if (gt == npos) {
            // No tag can close any more; what is left only matters if it opens a CDATA section,
            // which then cannot be closed either.
            return text.find(kCdataOpen, lt) == npos;
        }
        if (gt < lt) {
            pos = gt + 1;
            continue;
        }
        const std::u16string_view run = text.substr(pos, lt - pos);
        const std::u16string_view tag = text.substr(lt + 1, gt - lt - 1);
        if (run.size() >= kWorkBufferChars || tag.size() >= kWorkBufferChars) return false;
        int_Text(run);
        if (!int_Tag(tag)) return false;
        pos = gt + 1;
    }
    return true;
}

void CXmlReader::int_Text(std::u16string_view run) {
    const std::u16string flat = Flatten(run);
    const std::u16string_view text = TrimAsciiSpace(flat);
    if (!text.empty() && m_current) m_current->SetText(text);
}

bool CXmlReader::int_Tag(std::u16string_view raw) {
    const std::u16string flat = Flatten(raw);
    const std::u16string_view tag = TrimAsciiSpace(flat);
    const std::size_t space = tag.find(u' ');
    const std::u16string_view name = tag.substr(0, space);
    const std::u16string_view rest =
        space == npos ? std::u16string_view() : TrimAsciiSpace(tag.substr(space));

    if (name == u"?xml") {
        // The declaration's own attributes land on the root.
        m_current = &m_root;
        m_depth = 0;
    } else if (name.starts_with(u'/')) {
        // Closing names are not checked against the opening ones.
        int_CloseCurrent();
    } else if (m_current) {
        if (m_depth >= kMaxDepth) return false;
        m_current = m_current->AddChild(std::make_unique<CXmlNode>(name));
        ++m_depth;
    }
    int_Attributes(rest);
    return true;
}

void CXmlReader::int_CloseCurrent() {
    if (!m_current) return;
    // Never climb above the node being loaded into, even when that node has a parent of its own.
    m_current = m_current == &m_root ? nullptr : m_current->GetParent();
    --m_depth;
}

void CXmlReader::int_Store(const std::u16string& name, const std::u16string& value) {
    if (m_current) m_current->SetAttribute(name, std::u16string_view(value), false);
}

// Attributes: name="value" (unescaped), name=value, and bare names (value "1"). A lone "/" left at
// the end closes the element, so an empty element with no attributes needs the space in "<a />".
void CXmlReader::int_Attributes(std::u16string_view rest) {
    std::u16string name;
    std::u16string value;
    bool afterEquals = false;
    bool inQuotes = false;
    std::size_t i = 0;
    auto restartAt = [&](std::size_t from) {
        rest = TrimAsciiSpace(rest.substr(from));
        i = 0;
        name.clear();
        value.clear();
        afterEquals = false;
        inQuotes = false;
    };

    while (i < rest.size()) {
        const char16_t c = rest[i];
        if (!afterEquals) {
            if (c != u' ' && c != u'=') {
                name += c;
                ++i;
                continue;
            }
            std::size_t next = i;
            while (next < rest.size() && rest[next] == u' ')
                ++next;
            if (next < rest.size() && rest[next] == u'=') {
                afterEquals = true;
                i = next + 1;
                continue;
            }
            int_Store(name, u"1");
            restartAt(next);
            continue;
        }
        if (inQuotes) {
            if (c == u'"') {
                int_Store(name, XmlUnescape(value));
                restartAt(i + 1);
                continue;
            }
            value += c;
            ++i;
            continue;
        }
        if (c == u'"') {
            inQuotes = true;
            ++i;
        } else if (c == u' ' || c == u'/') {
            if (value.empty()) {
                ++i;
                continue;
            }
            int_Store(name, XmlUnescape(value));
            // A slash that ends a value stays, so that "<a x=1/>" is an empty element too.
            restartAt(c == u'/' ? i : i + 1);
        } else {
            value += c;
            ++i;
        }
    }

    if (!afterEquals) {
        if (name == u"/")
            int_CloseCurrent();
        else if (!name.empty())
            int_Store(name, u"1");
    } else {
        // An unterminated value is kept as it stands, without unescaping.
        int_Store(name, value.empty() ? std::u16string(u"1") : value);
    }
}

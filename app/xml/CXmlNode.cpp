#include "CXmlNode.h"

#include "CXmlReader_p.h"
#include "XmlEscape.h"

#include "com/bstr.h"
#include "utils/ZynWhiteSpace.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

constexpr std::u16string_view kRootName = u"<root>";
constexpr std::u16string_view kDefaultSeparators = u"\\";

std::u16string Normalise(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        if (c == u' ') c = u'_';
    return out;
}

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

std::u16string FoldedName(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        c = c == u' ' ? u'_' : FoldAscii(c);
    return out;
}

bool SameName(std::u16string_view stored, std::u16string_view normalised, bool ignoreCase) {
    if (stored.size() != normalised.size()) return false;
    if (!ignoreCase) return stored == normalised;
    for (std::size_t i = 0; i < stored.size(); ++i)
        if (FoldAscii(stored[i]) != FoldAscii(normalised[i])) return false;
    return true;
}

// The non-empty parts of a path between any of the separators.
std::vector<std::u16string_view> SplitPath(std::u16string_view path, std::u16string_view separators) {
    if (separators.empty()) separators = kDefaultSeparators;
    std::vector<std::u16string_view> parts;
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t end = std::min(path.find_first_of(separators, pos), path.size());
        if (end > pos) parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

// Decimal as the C library's _wtoi reads it: leading white space, a sign, then digits as far as
// they go; out-of-range values clamp.
int ParseDecimal(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    long long magnitude = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (s[i] - u'0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) break;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Hexadecimal as wcstoul reads it in base 16, for 32 bits.
std::uint32_t ParseHex(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i + 2 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') && HexDigit(s[i + 2]) >= 0)
        i += 2;
    std::uint64_t value = 0;
    for (; i < s.size() && HexDigit(s[i]) >= 0; ++i) {
        value = value * 16 + static_cast<std::uint64_t>(HexDigit(s[i]));
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

void Indent(std::u16string& out, int levels) {
    for (int i = 0; i < levels; ++i)
        out += u"  ";
}

} // namespace

CXmlNode::CXmlNode() : m_name(kXmlNamespaceElement) {
    int_AppendAttribute(u"xmlns:m", std::u16string(kXmlNamespaceUri));
}

CXmlNode::CXmlNode(std::u16string_view name) : m_name(Normalise(name)) {}

CXmlNode::~CXmlNode() {
    Clear();
}

void CXmlNode::Clear() {
    // Children are owned here, so no separate detaching is needed: a child can only leave its parent
    // by being destroyed with it.
    for (auto& child : m_children)
        if (child) child->m_parent = nullptr;
    std::vector<std::unique_ptr<CXmlNode>>().swap(m_children);
    std::vector<Attribute>().swap(m_attributes);
    std::unordered_map<std::u16string, int>().swap(m_attributeIndex);
}

CXmlNode* CXmlNode::AddChild(std::unique_ptr<CXmlNode> node) {
    if (!node) return nullptr;
    node->m_parent = this;
    m_children.push_back(std::move(node));
    return m_children.back().get();
}

CXmlNode* CXmlNode::GetOrAddChild(std::u16string_view name) {
    if (CXmlNode* found = FindChild(name)) return found;
    return AddChild(std::make_unique<CXmlNode>(name));
}

const CXmlNode* CXmlNode::FindChild(std::u16string_view name, const CXmlNode* after, bool ignoreCase) const {
    const std::u16string wanted = Normalise(name);
    std::size_t i = 0;
    if (after) {
        while (i < m_children.size() && m_children[i].get() != after)
            ++i;
        ++i; // past `after`; a node that is not a child leaves nothing to search
    }
    for (; i < m_children.size(); ++i)
        if (SameName(m_children[i]->m_name, wanted, ignoreCase)) return m_children[i].get();
    return nullptr;
}

CXmlNode* CXmlNode::FindChild(std::u16string_view name, const CXmlNode* after, bool ignoreCase) {
    return const_cast<CXmlNode*>(std::as_const(*this).FindChild(name, after, ignoreCase));
}

const CXmlNode* CXmlNode::GetChildAt(int i) const {
    if (i < 0 || i >= GetChildCount()) return nullptr;
    return m_children[static_cast<std::size_t>(i)].get();
}

CXmlNode* CXmlNode::GetChildAt(int i) {
    return const_cast<CXmlNode*>(std::as_const(*this).GetChildAt(i));
}

int CXmlNode::GetDepth() const {
    int depth = 0;
    for (const CXmlNode* p = m_parent; p; p = p->m_parent)
        ++depth;
    return depth;
}

void CXmlNode::SetName(std::u16string_view name) {
    if (!m_parent && m_name == kRootName) return;
    m_name = Normalise(name);
}

void CXmlNode::SetAttribute(std::u16string_view name, std::u16string_view value, bool escape) {
    std::u16string stored = escape ? XmlEscape(value) : std::u16string(value);
    const int i = FindAttributeIndex(name);
    if (i >= 0)
        m_attributes[static_cast<std::size_t>(i)].value = std::move(stored);
    else
        int_AppendAttribute(Normalise(name), std::move(stored));
}

void CXmlNode::int_AppendAttribute(std::u16string name, std::u16string value) {
    m_attributeIndex.emplace(FoldedName(name), GetAttributeCount());
    m_attributes.push_back({std::move(name), std::move(value)});
}

void CXmlNode::SetAttribute(std::u16string_view name, const char16_t* value, bool escape) {
    if (!value)
        RemoveAttribute(name);
    else
        SetAttribute(name, std::u16string_view(value), escape);
}

void CXmlNode::SetAttributeInt(std::u16string_view name, int number, bool escape) {
    const std::string digits = std::to_string(number);
    SetAttribute(name, std::u16string_view(std::u16string(digits.begin(), digits.end())), escape);
}

void CXmlNode::RemoveAttribute(std::u16string_view name) {
    const auto found = m_attributeIndex.find(FoldedName(name));
    if (found == m_attributeIndex.end()) return;
    const int i = found->second;
    m_attributeIndex.erase(found);
    m_attributes.erase(m_attributes.begin() + i);
    for (auto& entry : m_attributeIndex)
        if (entry.second > i) --entry.second;
}

int CXmlNode::FindAttributeIndex(std::u16string_view name, bool ignoreCase) const {
    const auto found = m_attributeIndex.find(FoldedName(name));
    if (found == m_attributeIndex.end()) return -1;
    if (!ignoreCase && m_attributes[static_cast<std::size_t>(found->second)].name != Normalise(name))
        return -1;
    return found->second;
}

const std::u16string* CXmlNode::GetAttributeName(int i) const {
    if (i < 0 || i >= GetAttributeCount()) return nullptr;
    return &m_attributes[static_cast<std::size_t>(i)].name;
}

const std::u16string* CXmlNode::GetAttributeValue(int i) const {
    if (i < 0 || i >= GetAttributeCount()) return nullptr;
    return &m_attributes[static_cast<std::size_t>(i)].value;
}

const std::u16string* CXmlNode::GetAttribute(std::u16string_view path) const {
    const std::vector<std::u16string_view> parts = SplitPath(path, kDefaultSeparators);
    if (parts.empty()) return nullptr;
    const CXmlNode* node = this;
    for (std::size_t i = 0; i + 1 < parts.size() && node; ++i)
        node = node->FindChild(parts[i]);
    return node ? node->GetAttributeValue(node->FindAttributeIndex(parts.back())) : nullptr;
}

std::u16string CXmlNode::GetAttributeString(std::u16string_view path, std::u16string_view def,
                                            bool inherit) const {
    for (const CXmlNode* node = this; node; node = inherit ? node->m_parent : nullptr)
        if (const std::u16string* value = node->GetAttribute(path)) return *value;
    return std::u16string(def);
}

int CXmlNode::GetAttributeInt(std::u16string_view path, int def, bool inherit) const {
    for (const CXmlNode* node = this; node; node = inherit ? node->m_parent : nullptr)
        if (const std::u16string* value = node->GetAttribute(path)) return ParseDecimal(*value);
    return def;
}

std::uint32_t CXmlNode::GetAttributeHex(std::u16string_view path, std::uint32_t def, bool inherit) const {
    for (const CXmlNode* node = this; node; node = inherit ? node->m_parent : nullptr)
        if (const std::u16string* value = node->GetAttribute(path)) return ParseHex(*value);
    return def;
}

void CXmlNode::SetText(std::u16string_view text) {
    m_text = std::u16string(TrimAsciiSpace(text));
}

void CXmlNode::SetText(const char16_t* text) {
    SetText(text ? std::u16string_view(text) : std::u16string_view());
}

void CXmlNode::SetTextEscaped(std::u16string_view text) {
    SetText(text);
    m_text = XmlEscape(m_text);
}

void CXmlNode::SetTextEscaped(const char16_t* text) {
    SetTextEscaped(text ? std::u16string_view(text) : std::u16string_view());
}

const CXmlNode* CXmlNode::FindNode(std::u16string_view path, bool ignoreCase,
                                   std::u16string_view separators) const {
    const std::vector<std::u16string_view> parts = SplitPath(path, separators);
    if (parts.empty()) return nullptr;
    const CXmlNode* node = this;
    for (std::u16string_view part : parts) {
        node = node->FindChild(part, nullptr, ignoreCase);
        if (!node) return nullptr;
    }
    return node;
}

CXmlNode* CXmlNode::FindNode(std::u16string_view path, bool ignoreCase, std::u16string_view separators) {
    return const_cast<CXmlNode*>(std::as_const(*this).FindNode(path, ignoreCase, separators));
}

const CXmlNode& CXmlNode::GetNode(std::u16string_view path, bool ignoreCase,
                                  std::u16string_view separators) const {
    static const CXmlNode empty{std::u16string_view()};
    const CXmlNode* node = FindNode(path, ignoreCase, separators);
    return node ? *node : empty;
}

std::u16string CXmlNode::ToText(bool pretty) const {
    std::u16string out = u"<?xml version=\"1.0\"?>\n";
    const bool wrap = FindChild(kXmlNamespaceElement) == nullptr;
    if (wrap) {
        out += u"<";
        out += kXmlNamespaceElement;
        out += u" xmlns:m=\"";
        out += kXmlNamespaceUri;
        out += u"\">";
        if (pretty) out += u'\n';
    }
    for (const auto& child : m_children)
        if (child->m_name != u"?xml") child->int_Write(out, pretty);
    if (wrap) {
        out += u"\n</";
        out += kXmlNamespaceElement;
        out += u'>';
    }
    return out;
}

void CXmlNode::int_Write(std::u16string& out, bool pretty) const {
    const bool hasChildren = !m_children.empty();
    const int indent = pretty ? GetDepth() - 1 : 0;
    Indent(out, indent);
    out += u'<';
    out += m_name;
    for (const Attribute& a : m_attributes) {
        out += u' ';
        out += a.name;
        out += u"=\"";
        out += a.value;
        out += u'"';
    }
    out += u'>';
    if (pretty && hasChildren) out += u'\n';
    out += m_text;
    for (const auto& child : m_children)
        child->int_Write(out, pretty);
    if (pretty && hasChildren) Indent(out, indent);
    out += u"</";
    out += m_name;
    out += u'>';
    if (pretty) out += u'\n';
}

CXmlNode* CXmlNode::Load(std::u16string_view text) {
    Clear();
    CXmlReader reader(*this);
    if (!reader.Parse(text)) return nullptr;
    if (CXmlNode* wrapper = FindChild(kXmlNamespaceElement)) return wrapper;
    return this;
}

CXmlNode* CXmlNode::Load(const char16_t* text) {
    if (!text) return nullptr;
    return Load(std::u16string_view(text));
}

namespace {

// The file's text with its lines joined without separators: a line ends at '\n', and a '\r' before
// it belongs to the line end.
std::u16string JoinLines(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') continue;
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        out += text[i];
    }
    return out;
}

std::u16string DecodeFile(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        text.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text;
    }
    std::string_view utf8(bytes);
    if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
    return zyn::com::Utf8ToUtf16(utf8);
}

} // namespace

CXmlNode* CXmlNode::LoadFile(const std::filesystem::path& path) {
    Clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) return nullptr;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return nullptr;
    return Load(std::u16string_view(JoinLines(DecodeFile(bytes))));
}

std::unique_ptr<CXmlNode> CXmlNode::int_Clone() const {
    auto copy = std::make_unique<CXmlNode>(m_name);
    copy->m_text = m_text;
    copy->m_attributes = m_attributes;
    copy->m_attributeIndex = m_attributeIndex;
    for (const auto& child : m_children)
        copy->AddChild(child->int_Clone());
    return copy;
}

CXmlNode* CXmlNode::CopyFrom(const CXmlNode& source, bool asChild) {
    // Take the copy first: the target may lie inside the source, which then grows while it is read.
    const std::unique_ptr<CXmlNode> copy = source.int_Clone();
    CXmlNode* target = asChild ? GetOrAddChild(copy->m_name) : this;
    target->SetText(copy->m_text);
    for (auto& child : copy->m_children)
        target->AddChild(std::move(child));
    copy->m_children.clear();
    for (const Attribute& a : copy->m_attributes)
        target->SetAttribute(a.name, std::u16string_view(a.value), false);
    return target;
}

#include "xml/CXmlNode.h"
#include "xml/CXmlReader_p.h"
#include "xml/XmlEscape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr std::u16string_view kDecl = u"<?xml version=\"1.0\"?>\n";

std::u16string Doc(std::u16string_view body) {
    return std::u16string(kDecl) + std::u16string(body);
}

std::u16string Attr(const CXmlNode* n, std::u16string_view name) {
    const std::u16string* v = n ? n->GetAttribute(name) : nullptr;
    return v ? *v : u"<none>";
}

TEST(CXmlReader, EmptyElementNeedsTheSpaceBeforeTheSlash) {
    CXmlNode root;
    CXmlNode* ns = root.Load(Doc(u"<m:Zynthar xmlns:m=\"x\">"
                                 u"<Chart Name=\"My+chart\" Rate=5 Auto />"
                                 u"<Next/></m:Zynthar>"));
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->GetName(), u"m:Zynthar");
    EXPECT_EQ(ns->GetParent(), &root);
    ASSERT_EQ(ns->GetChildCount(), 2);
    const CXmlNode* chart = ns->GetChildAt(0);
    EXPECT_EQ(chart->GetName(), u"Chart");
    EXPECT_EQ(chart->GetAttributeCount(), 3);
    EXPECT_EQ(Attr(chart, u"Name"), u"My chart");
    EXPECT_EQ(Attr(chart, u"Rate"), u"5");
    EXPECT_EQ(Attr(chart, u"Auto"), u"1");
    EXPECT_EQ(chart->GetChildCount(), 0);
    // Without the space the slash is part of the name, and the element stays open.
    EXPECT_EQ(ns->GetChildAt(1)->GetName(), u"Next/");

    ASSERT_NE(root.Load(Doc(u"<m:Zynthar><Chart Rate=5 Auto/><Child/></m:Zynthar>")), nullptr);
    const CXmlNode* open = root.FindNode(u"m:Zynthar\\Chart");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(Attr(open, u"Auto/"), u"1");
    ASSERT_EQ(open->GetChildCount(), 1);
    EXPECT_EQ(open->GetChildAt(0)->GetName(), u"Child/");

    // After a quoted or unquoted value the slash needs no space.
    ASSERT_NE(root.Load(Doc(u"<a x=\"1\"/><b y=2/><c />")), nullptr);
    EXPECT_EQ(root.GetChildCount(), 3);
    EXPECT_EQ(Attr(root.GetChildAt(1), u"y"), u"2");
}

TEST(CXmlReader, AttributeForms) {
    CXmlNode root(u"<root>");
    ASSERT_EQ(root.Load(Doc(u"<e q=\"a+b%25\" u=a+b next v = \"x y\" w=\"unterminated+ >"
                            u"<f last=a+b></f></e>")),
              &root);
    const CXmlNode* e = root.GetChildAt(0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Attr(e, u"q"), u"a b%");          // quoted: unescaped
    EXPECT_EQ(Attr(e, u"u"), u"a b");           // unquoted, ended by a space: unescaped
    EXPECT_EQ(Attr(e, u"next"), u"1");          // a bare word
    EXPECT_EQ(Attr(e, u"v"), u"x y");           // spaces around '='
    EXPECT_EQ(Attr(e, u"w"), u"unterminated+"); // unterminated at the tag's end: kept as it stands
    EXPECT_EQ(Attr(e->GetChildAt(0), u"last"), u"a+b");
    // The declaration's own attributes land on the root.
    EXPECT_EQ(Attr(&root, u"version"), u"1.0");
}

TEST(CXmlReader, CdataBecomesAnAttributeOfAnyLength) {
    const std::u16string payload = u"<not a tag> ]] > " + std::u16string(10000, u'Q');
    CXmlNode root;
    CXmlNode* ns =
        root.Load(Doc(u"<m:Zynthar><Data a=\"1\"><![CDATA[" + payload + u"]]></Data></m:Zynthar>"));
    ASSERT_NE(ns, nullptr);
    const CXmlNode* data = ns->FindChild(u"Data");
    EXPECT_EQ(Attr(data, u"CDATA"), payload);
    EXPECT_EQ(data->GetChildCount(), 0);

    // Written back as an ordinary attribute.
    CXmlNode small(u"root");
    small.Load(Doc(u"<D><![CDATA[x y]]></D>"));
    EXPECT_NE(small.ToText(false).find(u"<D CDATA=\"x y\"></D>"), std::u16string::npos);

    EXPECT_EQ(root.Load(Doc(u"<D><![CDATA[never closed</D>")), nullptr);
    EXPECT_EQ(root.Load(Doc(u"<D><![CDATA[never closed")), nullptr);
}

TEST(CXmlReader, FailsWithoutDeclarationAndSkipsWhatComesBeforeIt) {
    CXmlNode root;
    EXPECT_EQ(root.Load(u"<a></a>"), nullptr);
    EXPECT_EQ(root.Load(static_cast<const char16_t*>(nullptr)), nullptr);
    ASSERT_NE(root.Load(u"# a comment line <x>\n<?xml version=\"1.0\"?><a/>"), nullptr);
    ASSERT_EQ(root.GetChildCount(), 1);
    EXPECT_EQ(root.GetChildAt(0)->GetName(), u"a/");

    // Loading clears what was there.
    ASSERT_NE(root.Load(Doc(u"<b />")), nullptr);
    ASSERT_EQ(root.GetChildCount(), 1);
    EXPECT_EQ(root.GetChildAt(0)->GetName(), u"b");
}

TEST(CXmlReader, WhitespaceTextsAndStrayMarkup) {
    CXmlNode root(u"<root>");
    ASSERT_NE(
        root.Load(Doc(u"<Item\n\tBit=\"0x2\"\r\n  Value=\"v\">\n   Report was\tcreated  \n<Sub />tail</Item>"
                      u"stray > text <Amp>a &amp; b</Amp>")),
        nullptr);
    const CXmlNode* item = root.FindChild(u"Item");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(Attr(item, u"Value"), u"v");
    // A later run of the same element replaces its text.
    EXPECT_EQ(item->GetText(), u"tail");
    EXPECT_EQ(root.GetChildCount(), 2);
    EXPECT_EQ(root.GetChildAt(1)->GetText(), u"a &amp; b"); // entities are not known

    ASSERT_NE(root.Load(Doc(u"<Item>\n  Report was\tcreated on \n</Item>")), nullptr);
    EXPECT_EQ(root.GetChildAt(0)->GetText(), u"Report was created on");
}

TEST(CXmlReader, UnbalancedClosingTagsAreTolerated) {
    CXmlNode root;
    // Extra closing tags leave later content unstored; a new declaration brings the root back.
    ASSERT_NE(root.Load(Doc(u"<a></a></x></y><lost k=1/>text<?xml again=\"1\"?><b />")), nullptr);
    ASSERT_EQ(root.GetChildCount(), 2);
    EXPECT_EQ(root.GetChildAt(0)->GetName(), u"a");
    EXPECT_EQ(root.GetChildAt(1)->GetName(), u"b");
    EXPECT_EQ(Attr(&root, u"again"), u"1");

    // Missing closing tags leave elements open until the end.
    ASSERT_NE(root.Load(Doc(u"<a><b><c>")), nullptr);
    EXPECT_NE(root.FindNode(u"a\\b\\c"), nullptr);
}

TEST(CXmlReader, LoadingIntoAChildNeverClimbsAboveIt) {
    CXmlNode root(u"root");
    CXmlNode* child = root.GetOrAddChild(u"child");
    ASSERT_NE(child->Load(Doc(u"<a></a></b></c><d />")), nullptr);
    EXPECT_EQ(root.GetChildCount(), 1);
    EXPECT_EQ(child->GetChildCount(), 1);
}

TEST(CXmlReader, WorkingBufferLimitFailsCleanly) {
    const std::size_t limit = CXmlReader::kWorkBufferChars - 1;
    CXmlNode root;
    // A tag of exactly the limit still fits.
    const std::u16string fits = u"a v=\"" + std::u16string(limit - 6, u'x') + u"\"";
    ASSERT_EQ(fits.size(), limit);
    ASSERT_NE(root.Load(Doc(u"<" + fits + u"></a>")), nullptr);
    EXPECT_EQ(Attr(root.GetChildAt(0), u"v").size(), limit - 6);

    EXPECT_EQ(root.Load(Doc(u"<" + fits + u"x></a>")), nullptr);
    EXPECT_EQ(root.Load(Doc(u"<a>" + std::u16string(limit, u't') + u"</a>")), &root);
    EXPECT_EQ(root.Load(Doc(u"<a>" + std::u16string(limit + 1, u't') + u"</a>")), nullptr);
    // What was read before the fault stays.
    EXPECT_EQ(root.GetChildCount(), 1);
}

TEST(CXmlReader, DeepNestingFailsInsteadOfExhaustingTheStack) {
    std::u16string ok, deep;
    for (int i = 0; i < CXmlReader::kMaxDepth; ++i)
        ok += u"<a>";
    deep = ok + u"<a>";
    CXmlNode root;
    EXPECT_NE(root.Load(Doc(ok)), nullptr);
    EXPECT_EQ(root.Load(Doc(deep)), nullptr);
    // Closing brings the depth back: many siblings at one level are fine.
    std::u16string wide;
    for (int i = 0; i < 3 * CXmlReader::kMaxDepth; ++i)
        wide += u"<a></a>";
    EXPECT_NE(root.Load(Doc(wide)), nullptr);
    EXPECT_EQ(root.GetChildCount(), 3 * CXmlReader::kMaxDepth);
}

TEST(CXmlReader, RoundTripOfEscapedFreeText) {
    const std::u16string nasty = u"a \"quoted\" <tag> & 50% + / = \\ done\u00e9";
    for (bool pretty : {true, false}) {
        CXmlNode doc(u"root");
        CXmlNode* chart = doc.GetOrAddChild(u"Chart");
        chart->SetAttribute(u"Name", nasty, true);
        chart->SetAttributeInt(u"Rate", -5, true);
        CXmlNode* ch = chart->AddChild(std::make_unique<CXmlNode>(u"Channel"));
        ch->SetTextEscaped(nasty);
        chart->AddChild(std::make_unique<CXmlNode>(u"Channel"))->SetAttribute(u"Name", u"second");

        CXmlNode back;
        CXmlNode* ns = back.Load(doc.ToText(pretty));
        ASSERT_NE(ns, nullptr);
        const CXmlNode* c = ns->FindChild(u"Chart");
        EXPECT_EQ(Attr(c, u"Name"), nasty);
        EXPECT_EQ(c->GetAttributeInt(u"Rate"), -5);
        ASSERT_EQ(c->GetChildCount(), 2);
        EXPECT_EQ(XmlUnescape(c->GetChildAt(0)->GetText()), nasty);
        EXPECT_EQ(Attr(c->FindChild(u"Channel", c->GetChildAt(0)), u"Name"), u"second");
    }
}

TEST(CXmlReader, LoadFileJoinsLinesWithoutSeparators) {
    const auto path =
        std::filesystem::temp_directory_path() / ("zynxml_" + std::to_string(::getpid()) + ".xml");
    {
        std::ofstream f(path, std::ios::binary);
        f << "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<m:Zynthar>\r\n<Note>first line\r\nsecond "
             "\xC3\xA9</Note>\n"
             "</m:Zynthar>\n";
    }
    CXmlNode root;
    CXmlNode* ns = root.LoadFile(path);
    std::filesystem::remove(path);
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->FindChild(u"Note")->GetText(), u"first linesecond \u00e9");

    root.GetOrAddChild(u"stale");
    EXPECT_EQ(root.LoadFile(path), nullptr);
    EXPECT_EQ(root.GetChildCount(), 0);
}

} // namespace

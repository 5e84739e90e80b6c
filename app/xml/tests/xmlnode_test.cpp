#include "xml/CXmlNode.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

std::u16string Wrapped(std::u16string_view body, bool pretty) {
    std::u16string s = u"<?xml version=\"1.0\"?>\n<m:Zynthar xmlns:m=\"";
    s += kXmlNamespaceUri;
    s += pretty ? u"\">\n" : u"\">";
    s += body;
    s += u"\n</m:Zynthar>";
    return s;
}

TEST(CXmlNode, ConstructorsNormaliseNamesAndMakeTheNamespaceElement) {
    CXmlNode ns;
    EXPECT_EQ(ns.GetName(), u"m:Zynthar");
    ASSERT_EQ(ns.GetAttributeCount(), 1);
    EXPECT_EQ(*ns.GetAttributeName(0), u"xmlns:m");
    EXPECT_EQ(*ns.GetAttributeValue(0), kXmlNamespaceUri);
    EXPECT_EQ(CXmlNode(u"two words here").GetName(), u"two_words_here");
}

TEST(CXmlNode, ChildrenLookupsAndDepth) {
    CXmlNode root(u"root");
    CXmlNode* a1 = root.AddChild(std::make_unique<CXmlNode>(u"Item"));
    CXmlNode* b = root.AddChild(std::make_unique<CXmlNode>(u"Other"));
    CXmlNode* a2 = root.AddChild(std::make_unique<CXmlNode>(u"item"));
    EXPECT_EQ(root.GetChildCount(), 3);
    EXPECT_EQ(a1->GetParent(), &root);
    EXPECT_EQ(root.GetChildAt(1), b);
    EXPECT_EQ(root.GetChildAt(3), nullptr);
    EXPECT_EQ(root.GetChildAt(-1), nullptr);

    // Walking every child of one name, case-insensitively or exactly.
    EXPECT_EQ(root.FindChild(u"ITEM"), a1);
    EXPECT_EQ(root.FindChild(u"ITEM", a1), a2);
    EXPECT_EQ(root.FindChild(u"ITEM", a2), nullptr);
    EXPECT_EQ(root.FindChild(u"item", nullptr, false), a2);
    EXPECT_EQ(root.FindChild(u"ITEM", nullptr, false), nullptr);

    EXPECT_EQ(root.GetOrAddChild(u"OTHER"), b);
    CXmlNode* added = root.GetOrAddChild(u"New one");
    EXPECT_EQ(added->GetName(), u"New_one");
    EXPECT_EQ(root.GetChildAt(3), added);
    EXPECT_EQ(root.FindChild(u"new one"), added);

    CXmlNode* deep = added->GetOrAddChild(u"x")->GetOrAddChild(u"y");
    EXPECT_EQ(root.GetDepth(), 0);
    EXPECT_EQ(deep->GetDepth(), 3);
    EXPECT_EQ(root.AddChild(nullptr), nullptr);
}

TEST(CXmlNode, SetNameKeepsTheNameOfARootCalledRoot) {
    CXmlNode root(u"<root>");
    root.SetName(u"other");
    EXPECT_EQ(root.GetName(), u"<root>");
    CXmlNode* child = root.AddChild(std::make_unique<CXmlNode>(u"<root>"));
    child->SetName(u"a b");
    EXPECT_EQ(child->GetName(), u"a_b");
}

TEST(CXmlNode, AttributesKeepTheirPlaceAndNormaliseNames) {
    CXmlNode n(u"n");
    n.SetAttribute(u"first", u"1");
    n.SetAttribute(u"my name", u"x");
    n.SetAttribute(u"last", u"3");
    EXPECT_EQ(*n.GetAttributeName(1), u"my_name");
    EXPECT_EQ(*n.GetAttribute(u"my name"), u"x");
    EXPECT_EQ(n.FindAttributeIndex(u"MY NAME"), 1);
    EXPECT_EQ(n.FindAttributeIndex(u"MY NAME", false), -1);

    n.SetAttribute(u"FIRST", u"one"); // replaced in place, the stored name stays
    EXPECT_EQ(*n.GetAttributeName(0), u"first");
    EXPECT_EQ(*n.GetAttributeValue(0), u"one");

    n.SetAttribute(u"my name", nullptr); // a null value removes
    EXPECT_EQ(n.GetAttributeCount(), 2);
    EXPECT_EQ(n.GetAttribute(u"my_name"), nullptr);
    EXPECT_EQ(n.FindAttributeIndex(u"LAST"), 1); // later attributes move up
    n.SetAttribute(u"my name", u"back");
    EXPECT_EQ(n.FindAttributeIndex(u"my name"), 2);
    n.RemoveAttribute(u"my_name");
    n.RemoveAttribute(u"Last");
    EXPECT_EQ(n.GetAttributeCount(), 1);
    EXPECT_EQ(n.GetAttributeName(1), nullptr);
    EXPECT_EQ(n.GetAttributeValue(-1), nullptr);

    n.SetAttribute(u"free", u"a b%", true);
    EXPECT_EQ(*n.GetAttribute(u"free"), u"a+b%25");
    n.SetAttributeInt(u"count", -42);
    EXPECT_EQ(*n.GetAttribute(u"count"), u"-42");
    n.SetAttributeInt(u"count", -42, true);
    EXPECT_EQ(*n.GetAttribute(u"count"), u"%2d42");
}

TEST(CXmlNode, AttributePathsNumbersAndInheritance) {
    CXmlNode root(u"root");
    root.SetAttribute(u"Rate", u"3");
    root.SetAttribute(u"Bit", u"0x80000000");
    CXmlNode* mid = root.GetOrAddChild(u"Mid");
    mid->SetAttribute(u"Name", u"mid");
    CXmlNode* leaf = mid->GetOrAddChild(u"Leaf");
    leaf->SetAttribute(u"Odd", u"  12px");

    EXPECT_EQ(*root.GetAttribute(u"mid\\NAME"), u"mid");
    EXPECT_EQ(root.GetAttribute(u"Mid\\Missing"), nullptr);
    EXPECT_EQ(root.GetAttribute(u"Nope\\Name"), nullptr);
    EXPECT_EQ(root.GetAttribute(u""), nullptr);

    EXPECT_EQ(leaf->GetAttributeInt(u"Rate", 7, true), 3);
    EXPECT_EQ(leaf->GetAttributeInt(u"Rate", 7, false), 7);
    EXPECT_EQ(leaf->GetAttributeInt(u"Odd", 7), 12);
    EXPECT_EQ(leaf->GetAttributeString(u"Name", u"dflt", true), u"mid");
    EXPECT_EQ(leaf->GetAttributeString(u"Name", u"dflt"), u"dflt");

    // Mask bits read back whole, bit 31 included.
    EXPECT_EQ(leaf->GetAttributeHex(u"Bit", 0, true), 0x80000000u);
    leaf->SetAttribute(u"Hex", u"0x00000010");
    EXPECT_EQ(leaf->GetAttributeHex(u"Hex"), 0x10u);
    leaf->SetAttribute(u"Hex", u"ff zz");
    EXPECT_EQ(leaf->GetAttributeHex(u"Hex"), 0xFFu);
    leaf->SetAttribute(u"Hex", u"0x1FFFFFFFF");
    EXPECT_EQ(leaf->GetAttributeHex(u"Hex"), 0xFFFFFFFFu);
    leaf->SetAttribute(u"Hex", u"zz");
    EXPECT_EQ(leaf->GetAttributeHex(u"Hex", 5), 0u); // present but unreadable is 0, not the default

    leaf->SetAttribute(u"Big", u"99999999999");
    EXPECT_EQ(leaf->GetAttributeInt(u"Big"), INT_MAX);
    leaf->SetAttribute(u"Big", u"-99999999999");
    EXPECT_EQ(leaf->GetAttributeInt(u"Big"), INT_MIN);
}

TEST(CXmlNode, TextIsTrimmedAndOptionallyEscaped) {
    CXmlNode n(u"n");
    n.SetText(u" \t two words \r\n");
    EXPECT_EQ(n.GetText(), u"two words");
    n.SetTextEscaped(u"  a b  ");
    EXPECT_EQ(n.GetText(), u"a+b");
    n.SetText(static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(n.GetText(), u"");
}

TEST(CXmlNode, PathsWithSeparatorsAndTheSharedEmptyNode) {
    CXmlNode root(u"root");
    CXmlNode* data = root.GetOrAddChild(u"m:Zynthar")->GetOrAddChild(u"Data");
    data->SetAttribute(u"Name", u"x");
    EXPECT_EQ(root.FindNode(u"m:zynthar\\DATA"), data);
    EXPECT_EQ(root.FindNode(u"m:zynthar\\DATA", false), nullptr);
    EXPECT_EQ(root.FindNode(u"/m:Zynthar//Data/", true, u"/"), data);
    EXPECT_EQ(root.FindNode(u"m:Zynthar.Data", true, u"./"), data);
    EXPECT_EQ(root.FindNode(u""), nullptr);
    EXPECT_EQ(root.FindNode(u"\\\\"), nullptr);
    EXPECT_EQ(root.FindNode(u"m:Zynthar\\Missing"), nullptr);

    EXPECT_EQ(&root.GetNode(u"m:Zynthar\\Data"), data);
    const CXmlNode& missing = root.GetNode(u"m:Zynthar\\Missing\\Deeper");
    EXPECT_EQ(&missing, &root.GetNode(u"other"));
    EXPECT_EQ(missing.GetName(), u"");
    EXPECT_EQ(missing.GetChildCount(), 0);
    EXPECT_EQ(missing.GetNode(u"a\\b").GetAttributeString(u"x", u"dflt"), u"dflt");
}

TEST(CXmlNode, CompactTextOfAClipboardDescription) {
    CXmlNode doc(u"root");
    CXmlNode* data = doc.AddChild(std::make_unique<CXmlNode>(u"Data"));
    data->SetAttribute(u"Owner", u"1234", true);
    data->SetAttribute(u"Name", u"CPU \"total\"", true);
    data->SetAttributeInt(u"Action", 1, true);
    EXPECT_EQ(doc.ToText(false),
              Wrapped(u"<Data Owner=\"1234\" Name=\"CPU+%22total%22\" Action=\"1\"></Data>", false));
}

TEST(CXmlNode, PrettyTextIndentsParentsAndWritesNoSecondWrapper) {
    CXmlNode doc(u"root");
    CXmlNode* ns = doc.AddChild(std::make_unique<CXmlNode>());
    CXmlNode* chart = ns->GetOrAddChild(u"Chart");
    chart->SetAttribute(u"Name", u"c");
    chart->GetOrAddChild(u"Channel")->SetText(u"t");
    ns->GetOrAddChild(u"Empty");
    doc.AddChild(std::make_unique<CXmlNode>(u"?xml")); // a declaration node is never written twice

    EXPECT_EQ(doc.ToText(true), u"<?xml version=\"1.0\"?>\n"
                                u"<m:Zynthar xmlns:m=\"" +
                                    std::u16string(kXmlNamespaceUri) +
                                    u"\">\n"
                                    u"  <Chart Name=\"c\">\n"
                                    u"    <Channel>t</Channel>\n"
                                    u"  </Chart>\n"
                                    u"  <Empty></Empty>\n"
                                    u"</m:Zynthar>\n");

    // Without the namespace element among the children, the wrapper is written around them.
    CXmlNode bare(u"root");
    bare.GetOrAddChild(u"Leaf")->SetText(u"v");
    EXPECT_EQ(bare.ToText(true), Wrapped(u"<Leaf>v</Leaf>\n", true));
}

TEST(CXmlNode, ClearEmptiesTheNodeButLeavesItInItsParent) {
    CXmlNode root(u"root");
    CXmlNode* child = root.GetOrAddChild(u"c");
    child->SetAttribute(u"a", u"1");
    child->GetOrAddChild(u"g")->GetOrAddChild(u"gg");
    child->Clear();
    EXPECT_EQ(child->GetAttributeCount(), 0);
    EXPECT_EQ(child->GetChildCount(), 0);
    EXPECT_EQ(root.GetChildAt(0), child);
    EXPECT_EQ(child->GetParent(), &root);
}

TEST(CXmlNode, CopyFromKeepsEverySiblingAndSurvivesCopyingIntoItself) {
    CXmlNode src(u"Section");
    src.SetText(u"  title ");
    src.SetAttribute(u"Desc", u"a+b");
    src.AddChild(std::make_unique<CXmlNode>(u"Item"))->SetText(u"one");
    src.AddChild(std::make_unique<CXmlNode>(u"Item"))->SetText(u"two");

    CXmlNode dst(u"root");
    CXmlNode* existing = dst.GetOrAddChild(u"section");
    existing->SetAttribute(u"Keep", u"k");
    EXPECT_EQ(dst.CopyFrom(src, true), existing); // merged into the child of that name
    EXPECT_EQ(dst.GetChildCount(), 1);
    EXPECT_EQ(existing->GetText(), u"title");
    EXPECT_EQ(*existing->GetAttribute(u"Desc"), u"a+b"); // copied as stored, not escaped again
    EXPECT_EQ(*existing->GetAttribute(u"Keep"), u"k");
    ASSERT_EQ(existing->GetChildCount(), 2); // same-named siblings are not merged
    EXPECT_EQ(existing->GetChildAt(1)->GetText(), u"two");
    EXPECT_EQ(existing->GetChildAt(1)->GetParent(), existing);

    CXmlNode plain(u"plain");
    plain.CopyFrom(src, false);
    EXPECT_EQ(plain.GetName(), u"plain");
    EXPECT_EQ(plain.GetChildCount(), 2);

    // The copy grows the source while it is taken; it must not chase its own tail.
    src.CopyFrom(src, true);
    ASSERT_EQ(src.GetChildCount(), 3);
    EXPECT_EQ(src.GetChildAt(2)->GetName(), u"Section");
    EXPECT_EQ(src.GetChildAt(2)->GetChildCount(), 2);
}

} // namespace

#include "xml/XmlEscape.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlEscape, KeepsLettersAndDigitsAndEncodesEverythingElse) {
    EXPECT_EQ(XmlEscape(u"a b%"), u"a+b%25");
    EXPECT_EQ(XmlEscape(u"Az09"), u"Az09");
    EXPECT_EQ(XmlEscape(u"<\"=/>\n"), u"%3c%22%3d%2f%3e%0a");
    EXPECT_EQ(XmlEscape(u"+"), u"%2b");
    EXPECT_EQ(XmlEscape(u"\u00e9"), u"%e9");
    EXPECT_EQ(XmlEscape(u"\u00c4"), u"%c4"); // Latin letters outside ASCII are encoded too
    EXPECT_EQ(XmlEscape(u"\u20ac"), u"%20ac");
    EXPECT_EQ(XmlEscape(u"\u0394"), u"%394"); // above 0xFF: as many digits as the code needs
    EXPECT_EQ(XmlEscape(std::u16string(1, u'\0')), u"%00");
}

TEST(XmlUnescape, DecodesPlusAndPercentPairs) {
    EXPECT_EQ(XmlUnescape(u"a+b%25"), u"a b%");
    EXPECT_EQ(XmlUnescape(u"%3C%3e"), u"<>");
    EXPECT_EQ(XmlUnescape(u"My+chart"), u"My chart");
    EXPECT_EQ(XmlUnescape(u"100%"), u"100%");     // a '%' at the end is kept, nothing beyond is read
    EXPECT_EQ(XmlUnescape(u"%4"), u"%4");         // one digit is not enough
    EXPECT_EQ(XmlUnescape(u"%zz%4g"), u"%zz%4g"); // nor are non-hexadecimal characters
    EXPECT_EQ(XmlUnescape(u"%20ac"), u" ac");     // codes above 0xFF do not come back
}

TEST(XmlEscape, EveryCodeUpTo0xFFRoundTrips) {
    std::u16string all;
    for (char16_t c = 0; c <= 0xFF; ++c)
        all += c;
    const std::u16string escaped = XmlEscape(all);
    EXPECT_EQ(escaped.find_first_of(u" \"<>/=\n\t"), std::u16string::npos);
    EXPECT_EQ(XmlUnescape(escaped), all);
}

} // namespace

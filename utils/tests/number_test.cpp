#include "utils/ZynNumber.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace {

double Parse(const std::u16string& s) {
    return StringToDouble(s.c_str());
}

TEST(StringToDouble, KeepsDigitsFirstPointAndLeadingMinus) {
    EXPECT_EQ(StringToDouble(nullptr), 0.0);
    EXPECT_EQ(Parse(u""), 0.0);
    EXPECT_EQ(Parse(u"x"), 0.0);
    EXPECT_EQ(Parse(u"1,234.5"), 1234.5);
    EXPECT_EQ(Parse(u"abc-12"), -12.0);
    EXPECT_EQ(Parse(u"12-3"), 123.0);
    EXPECT_EQ(Parse(u"1e5"), 15.0);
    EXPECT_EQ(Parse(u"-.5"), -0.5);
    EXPECT_EQ(Parse(u"--5"), -5.0);
    EXPECT_EQ(Parse(u"5-"), 5.0);
    EXPECT_DOUBLE_EQ(Parse(u"1.2.3"), 1.23);
    EXPECT_EQ(Parse(u"-"), 0.0);
    EXPECT_EQ(Parse(u"\u0663\uFF15 7"), 7.0); // other scripts' digits are not digits here
}

TEST(StringToDouble, DecimalMarkIsAPointWhateverTheLocale) {
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
    EXPECT_EQ(Parse(u"1234.5"), 1234.5);
    std::setlocale(LC_NUMERIC, "C");
}

TEST(StringToDouble, OnlyTheFirst511KeptCharactersCount) {
    std::u16string s(510, u'0');
    s += u"12";
    EXPECT_EQ(Parse(s), 1.0);
    // Skipped characters do not count toward the limit.
    std::u16string spaced = u"  ," + std::u16string(509, u'0') + u"34";
    EXPECT_EQ(Parse(spaced), 34.0);
    std::u16string huge(400, u'9');
    EXPECT_EQ(Parse(huge), 0.0); // beyond the double range
}

std::string Comma(double x, const char16_t* fmt = nullptr) {
    char16_t buf[256];
    for (auto& c : buf)
        c = u'#';
    if (!CommaNumber(x, buf, 256, fmt)) return "<refused>";
    std::string out;
    for (const char16_t* p = buf; *p; ++p)
        out.push_back(static_cast<char>(*p));
    return out;
}

TEST(CommaNumber, AutomaticFormatsAndGrouping) {
    EXPECT_EQ(Comma(1234567.891), "1,234,568");
    EXPECT_EQ(Comma(-1234.6), "-1,235");
    EXPECT_EQ(Comma(0.05), "0.050000");
    EXPECT_EQ(Comma(12.34), "12.3");
    EXPECT_EQ(Comma(0), "0.00");
    EXPECT_EQ(Comma(999), "999");
    EXPECT_EQ(Comma(1000), "1,000");
    EXPECT_EQ(Comma(100000), "100,000");
    EXPECT_EQ(Comma(-100000), "-100,000");
    EXPECT_EQ(Comma(-0.5), "-0.500");
    EXPECT_EQ(Comma(5.5), "5.50");
    EXPECT_EQ(Comma(0.1), "0.100");
    EXPECT_EQ(Comma(100), "100");
}

TEST(CommaNumber, CallerFormat) {
    EXPECT_EQ(Comma(12345.6789, u"%0.4lf"), "12,345.6789");
    EXPECT_EQ(Comma(1234.5, u"%3.2lf"), "1,234.50");
    EXPECT_EQ(Comma(1e6, u"%2.0lf"), "1,000,000");
    EXPECT_EQ(Comma(12345.0, u"%e"), "1.234500e+04");
    EXPECT_EQ(Comma(1e20, u"%g"), "1e+20"); // no point: the exponent must not be grouped
    EXPECT_EQ(Comma(123456.0, u"%+.0f"), "+123,456");
    EXPECT_EQ(Comma(1234.5, u"%10.1f"), "    1,234.5");
    EXPECT_EQ(Comma(1234.5, u"%-9.1fX"), "<refused>");
    EXPECT_EQ(Comma(7.0, u"%"), "7.00"); // shorter than two characters: automatic
    EXPECT_EQ(Comma(7.0, u""), "7.00");
}

TEST(CommaNumber, RefusesEverythingButOneFloatConversion) {
    for (const char16_t* bad : {u"%s",  u"%n",     u"%d",      u"%x",   u"%c",   u"%p", u"%f%f",    u"%f %n",
                                u"%*f", u"%.*f",   u"%Lf",     u"%'f",  u"%1$f", u"%a", u"abc%f",   u"%f abc",
                                u"%%",  u"%1234f", u"%.1000f", u"%lld", u"%hf",  u"f%", u"%\u0100f"}) {
        EXPECT_EQ(Comma(1.0, bad), "<refused>")
            << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
    }
}

TEST(CommaNumber, RefusesTextsThatDoNotFit) {
    char16_t buf[64];
    EXPECT_FALSE(CommaNumber(1.0, nullptr, 256, nullptr));
    buf[0] = u'#';
    EXPECT_FALSE(CommaNumber(1.0, buf, 63, nullptr));
    EXPECT_EQ(buf[0], u'#'); // nothing written
    EXPECT_TRUE(CommaNumber(1.0, buf, 64, nullptr));
    EXPECT_EQ(Comma(1e63), "<refused>"); // 64 digits overflow the 63-character print
    // The nearest double to 1e60 prints as 60 digits; with their 19 commas they fit in 256.
    EXPECT_EQ(Comma(1e60), "999,999,999,999,999,949,387,135,297,074,018,866,963,645,011,013,410,073,083,904");
    EXPECT_EQ(Comma(1.0, u"%.70f"), "<refused>");
    // 55 digits print into 63 characters; with 18 commas they need 74, more than a 64 buffer has.
    EXPECT_FALSE(CommaNumber(1e54, buf, 64, nullptr));
    EXPECT_NE(Comma(1e54), "<refused>");
    EXPECT_EQ(Comma(NAN), "nan");
    EXPECT_EQ(Comma(-INFINITY), "-inf");
}

void Scaled(double lo, double hi, double wantLo, double wantHi) {
    double a = lo, b = hi;
    AutoScale(a, b);
    EXPECT_EQ(a, wantLo) << "AutoScale(" << lo << ", " << hi << ")";
    EXPECT_EQ(b, wantHi) << "AutoScale(" << lo << ", " << hi << ")";
}

TEST(AutoScale, RoundsOutToEvenMultiples) {
    Scaled(3, 97, 0, 100);
    Scaled(50, 60, 48, 62);
    Scaled(5, 5, 2, 8);
    Scaled(0.5, 0.7, 0, 2);
    Scaled(-3, 7, -4, 8);
    Scaled(1200, 1800, 1000, 2000);
    Scaled(97, 3, 0, 100);      // reversed comes back ordered
    Scaled(400, 500, 200, 600); // the span does not reach zero: no snap
    Scaled(400, 900, 0, 1000);  // it does
    // Truncation toward zero carries the high bound of negative data above zero.
    Scaled(-97, -3, -100, 20);
    Scaled(0, 0, -2, 2); // equal bounds widen to (-1, 1) first
}

TEST(AutoScale, LeavesOutOfRangeAndNonFiniteBoundsAlone) {
    Scaled(0, 3e9, 0, 3e9);
    Scaled(-3e9, 5, -3e9, 5);
    double a = NAN, b = 5;
    AutoScale(a, b);
    EXPECT_TRUE(std::isnan(a));
    EXPECT_EQ(b, 5);
    Scaled(1, INFINITY, 1, INFINITY);
}

TEST(AutoScale, BoundsNearTheEndOfThe32BitRangeDoNotOverflow) {
    Scaled(0, 2147483647, 0, 4e9);
    Scaled(-2147483648.0, 0, -4e9, 2e9);
}

} // namespace

// Strings, variants and arrays: the values that cross every automation call.

#include "com/ccombstr.h"
#include "com/variant.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

CComVariant Convert(const CComVariant& from, VARTYPE to, HRESULT expected = S_OK) {
    CComVariant out;
    EXPECT_EQ(VariantChangeType(&out, &from, 0, to), expected) << "from vt " << from.vt << " to " << to;
    return out;
}

TEST(Bstr, LengthPrefixNullAndEmbeddedZeros) {
    BSTR s = SysAllocString(u"abc");
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[3], u'\0');
    SysFreeString(s);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    const char16_t raw[] = {u'a', u'\0', u'b'};
    CComBSTR z(3, raw);
    EXPECT_EQ(z.Length(), 3u);
    CComBSTR copy(z); // NOLINT(performance-unnecessary-copy-initialization): the copy is under test
    EXPECT_EQ(copy.Length(), 3u); // copies keep the whole length, not up to the zero
    EXPECT_EQ(CComBSTR(), u"");   // null equals empty
}

TEST(Bstr, Utf8AndUtf16RoundTrip) {
    const std::string text = "Gr\xC3\xBC\xC3\x9F"
                             "e \xF0\x9F\x93\x88 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(zyn::com::Utf16ToUtf8(zyn::com::Utf8ToUtf16(text)), text);
    EXPECT_EQ(zyn::com::Utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\xDBFF\xDFFF"); // the last code point
    const std::string withZero("a\0b", 3);
    EXPECT_EQ(zyn::com::Utf16ToUtf8(zyn::com::Utf8ToUtf16(withZero)), withZero);
}

TEST(Bstr, BrokenUtf8BecomesOneReplacementPerMaximalSubpartAndDecodingResumes) {
    const struct {
        std::string utf8;
        std::u16string expected;
        const char* what;
    } cases[] = {
        {"a\xFF"
         "b",
         u"a\xFFFD"
         u"b",
         "a byte that never starts a character"},
        {"\x80", u"\xFFFD", "a lone continuation byte"},
        {"\xE2\x82", u"\xFFFD", "truncated at the end"},
        {"\xE2"
         "A",
         u"\xFFFD"
         u"A",
         "truncated before a character: the character survives"},
        {"\xF0\x9F\x93"
         "ab",
         u"\xFFFD"
         u"ab",
         "a truncated four-byte form is one replacement"},
        {"\xE2\x82\xE2\x82\xAC", u"\xFFFD\x20AC", "truncated before a complete character"},
        {"\xC0\xAF", u"\xFFFD\xFFFD", "overlong two-byte form"},
        {"\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD", "overlong three-byte form"},
        {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", "an encoded surrogate"},
        {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD", "above U+10FFFF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zyn::com::Utf8ToUtf16(c.utf8), c.expected) << c.what;
}

TEST(Bstr, LoneSurrogatesBecomeReplacementInUtf8) {
    EXPECT_EQ(zyn::com::Utf16ToUtf8(u"\xD800"
                                    u"x"),
              "\xEF\xBF\xBD"
              "x");
    EXPECT_EQ(zyn::com::Utf16ToUtf8(u"x\xDC00"), "x\xEF\xBF\xBD");
    EXPECT_EQ(zyn::com::Utf16ToUtf8(u"\xDBFF"), "\xEF\xBF\xBD"); // high surrogate at the end
}

TEST(Variant, NumbersConvertWithRangeChecksAndBankersRounding) {
    EXPECT_EQ(Convert(CComVariant(2.5), VT_I4).lVal, 2);
    EXPECT_EQ(Convert(CComVariant(3.5), VT_I4).lVal, 4);
    EXPECT_EQ(Convert(CComVariant(-2.5), VT_I4).lVal, -2);
    Convert(CComVariant(300), VT_UI1, DISP_E_OVERFLOW);
    Convert(CComVariant(3e10), VT_I4, DISP_E_OVERFLOW);
    Convert(CComVariant(std::numeric_limits<double>::quiet_NaN()), VT_I4, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Convert(CComVariant(7), VT_R8).dblVal, 7.0);
    EXPECT_EQ(Convert(CComVariant(true), VT_I4).lVal, -1);
    EXPECT_EQ(Convert(CComVariant(0.0), VT_BOOL).boolVal, VARIANT_FALSE);
}

TEST(Variant, TextParsesStrictlyAndNumbersPrint) {
    EXPECT_EQ(Convert(CComVariant(u" 12.5 "), VT_R8).dblVal, 12.5);
    EXPECT_EQ(Convert(CComVariant(u"true"), VT_BOOL).boolVal, VARIANT_TRUE);
    Convert(CComVariant(u"12abc"), VT_R8, DISP_E_TYPEMISMATCH);
    Convert(CComVariant(u""), VT_I4, DISP_E_TYPEMISMATCH);
    Convert(CComVariant(u"1e999"), VT_R8, DISP_E_OVERFLOW);
    EXPECT_EQ(zyn::com::BstrView(Convert(CComVariant(0.1), VT_BSTR).bstrVal), u"0.1");
    EXPECT_EQ(zyn::com::BstrView(Convert(CComVariant(-42), VT_BSTR).bstrVal), u"-42");
    CComVariant empty;
    EXPECT_EQ(zyn::com::BstrView(Convert(empty, VT_BSTR).bstrVal), u"");
    CComVariant null;
    null.vt = VT_NULL;
    Convert(null, VT_I4, DISP_E_TYPEMISMATCH);
}

TEST(Variant, ByReferenceSourcesAreFollowedAndCopiesAreDeep) {
    double d = 4.25;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_R8 | VT_BYREF;
    ref.byref = &d;
    CComVariant out;
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 4);

    CComVariant s(u"text");
    CComVariant copy(s);
    EXPECT_NE(copy.bstrVal, s.bstrVal);
    EXPECT_EQ(zyn::com::BstrView(copy.bstrVal), u"text");
    ASSERT_EQ(VariantChangeType(&s, &s, 0, VT_BSTR), S_OK); // in place
    EXPECT_EQ(zyn::com::BstrView(s.bstrVal), u"text");
}

TEST(SafeArray, BoundsElementsAndLocking) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 3);
    ASSERT_NE(psa, nullptr);
    LONG lo = 0, hi = 0;
    SafeArrayGetLBound(psa, 1, &lo);
    SafeArrayGetUBound(psa, 1, &hi);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 3);
    LONG at = 2;
    CComBSTR value(u"two");
    ASSERT_EQ(SafeArrayPutElement(psa, &at, value.m_str), S_OK);
    BSTR back = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &at, &back), S_OK);
    EXPECT_EQ(zyn::com::BstrView(back), u"two");
    SysFreeString(back);
    LONG outside = 4;
    EXPECT_EQ(SafeArrayGetElement(psa, &outside, &back), DISP_E_BADINDEX);
    outside = 0;
    EXPECT_EQ(SafeArrayPutElement(psa, &outside, value.m_str), DISP_E_BADINDEX);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), E_ACCESSDENIED); // locked arrays are not destroyed
    SafeArrayUnaccessData(psa);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayCreateVector(VT_R8, 0, 0x7FFFFFFF), nullptr); // refused, not overflowed
}

TEST(SafeArray, VariantHoldingAnArrayCopiesIt) {
    CComVariant v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    static_cast<unsigned char*>(v.parray->pvData)[3] = 9;
    CComVariant copy(v);
    ASSERT_NE(copy.parray, v.parray);
    EXPECT_EQ(static_cast<unsigned char*>(copy.parray->pvData)[3], 9);
    Convert(v, VT_I4, DISP_E_TYPEMISMATCH);
}

} // namespace

#include "utils/ZynGrowBuff.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const CZynGrowBuff& b) {
    return std::vector<unsigned char>(b.GetBuffer(), b.GetBuffer() + b.GetSize());
}

std::string Text(const CZynGrowBuff& b) {
    return std::string(reinterpret_cast<const char*>(b.GetBuffer()), b.GetSize());
}

void Fill(CZynGrowBuff& b, const void* data, std::size_t n) {
    ASSERT_TRUE(b.Write(data, static_cast<unsigned long>(n)));
}

TEST(GrowBuffEncoding, IntThenDoubleIsTwelveLittleEndianBytes) {
    CZynGrowBuff b;
    b.Write(1);
    b.Write(1.5);
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
    EXPECT_EQ(b.GetSize(), 12u);
    EXPECT_EQ(b.GetCapacity(), 256u);
}

TEST(GrowBuffEncoding, ScalarsHaveFixedWidths) {
    CZynGrowBuff b;
    b.Write(true);
    b.Write(static_cast<unsigned char>(0xAB));
    b.Write(static_cast<unsigned short>(0x1234));
    b.Write(-2L); // 4 bytes even though long is 8 here
    b.Write(0xFFFFFFFFul);
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{1, 0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                    0xFF, 0xFF}));
    bool flag = false;
    unsigned char c = 0;
    unsigned short s = 0;
    long l = 0;
    unsigned long ul = 0;
    EXPECT_TRUE(b.Read(flag) && b.Read(c) && b.Read(s) && b.Read(l) && b.Read(ul));
    EXPECT_TRUE(flag);
    EXPECT_EQ(c, 0xAB);
    EXPECT_EQ(s, 0x1234);
    EXPECT_EQ(l, -2);
    EXPECT_EQ(ul, 0xFFFFFFFFul);
}

TEST(GrowBuffEncoding, StringsCarryCountUnitsAndTerminator) {
    CZynGrowBuff b;
    b.Write(u"Data");
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{4, 0, 0, 0, 0x44, 0, 0x61, 0, 0x74, 0, 0x61, 0, 0, 0}));

    CComBSTR bstr(u"Data");
    CZynGrowBuff viaBstr;
    viaBstr.Write(bstr);
    EXPECT_EQ(Bytes(viaBstr), Bytes(b));
}

TEST(GrowBuffEncoding, EmptyAndNullStringsAreAZeroCountAndReadBackLeavesTarget) {
    CZynGrowBuff b;
    b.Write(static_cast<const char16_t*>(nullptr));
    b.Write(u"");
    b.Write(CComBSTR());
    EXPECT_EQ(Bytes(b), std::vector<unsigned char>(12, 0));
    CComBSTR target(u"keep");
    EXPECT_TRUE(b.Read(target));
    EXPECT_EQ(target, u"keep");
    EXPECT_EQ(b.GetReadPos(), 4u);
}

TEST(GrowBuffEncoding, EmbeddedZeroReadsShortButPositionSkipsWholeString) {
    const char16_t raw[] = {u'a', u'\0', u'b'};
    CComBSTR s(3, raw);
    CZynGrowBuff b;
    b.Write(s);
    b.Write(77);
    EXPECT_EQ(b.GetSize(), 4u + 8u + 4u);
    CComBSTR back;
    ASSERT_TRUE(b.Read(back));
    EXPECT_EQ(back, u"a");
    int next = 0;
    ASSERT_TRUE(b.Read(next));
    EXPECT_EQ(next, 77);
}

TEST(GrowBuffGrowth, StepsFollowTheGrowthRule) {
    CZynGrowBuff b;
    unsigned char zero[2048] = {};
    b.Write(zero, 1);
    EXPECT_EQ(b.GetCapacity(), 256u);
    b.Write(zero, 256); // 257 bytes
    EXPECT_EQ(b.GetCapacity(), 768u);
    b.Write(zero, 512); // 769 bytes
    EXPECT_EQ(b.GetCapacity(), 1792u);

    CZynGrowBuff big;
    ASSERT_TRUE(big.SetCapacity(0x20000 + 1)); // from 0: increment n, rounded
    std::uint32_t cap = big.GetCapacity();
    EXPECT_EQ(cap, ((0x20001u + 256) & ~0xFFu));
    ASSERT_TRUE(big.SetCapacity(cap + 10)); // above 128 KiB: shortfall + 128 KiB, rounded
    EXPECT_EQ(big.GetCapacity(), cap + ((10u + 0x20000 + 256) & ~0xFFu));
}

TEST(GrowBuffGrowth, SetCapacityNeverShrinksAndReleaseEmpties) {
    CZynGrowBuff b;
    b.Release();
    EXPECT_EQ(b.GetBuffer(), nullptr);
    b.SetCapacity(1000);
    std::uint32_t cap = b.GetCapacity();
    b.SetCapacity(10);
    EXPECT_EQ(b.GetCapacity(), cap);
    b.Write(5);
    b.SetReadPos(3);
    b.Release();
    EXPECT_EQ(b.GetSize(), 0u);
    EXPECT_EQ(b.GetCapacity(), 0u);
    EXPECT_EQ(b.GetReadPos(), 3u); // left as it was
}

TEST(GrowBuffStream, AppendingABufferTakesItsWholeContentAndHandoffMovesOwnership) {
    CZynGrowBuff a, b;
    a.Write(1);
    a.Write(2);
    int skip;
    a.Read(skip);
    b.Write(a);
    EXPECT_EQ(b.GetSize(), 8u);
    b.Write(b); // onto itself
    EXPECT_EQ(b.GetSize(), 16u);
    EXPECT_EQ(std::memcmp(b.GetBuffer(), b.GetBuffer() + 8, 8), 0);

    unsigned char* block = a.GetBuffer();
    b.SetReadPos(5);
    b.int_TakeHandoff(a);
    EXPECT_EQ(b.GetBuffer(), block);
    EXPECT_EQ(b.GetSize(), 8u);
    EXPECT_EQ(b.GetReadPos(), 0u);
    EXPECT_EQ(a.GetBuffer(), nullptr);
    EXPECT_EQ(a.GetSize(), 0u);
}

// A reader of a truncated record must not touch bytes outside what was written.
TEST(GrowBuffStream, ReadsPastTheSizeFailWithZerosAndStopAtTheEnd) {
    CZynGrowBuff b;
    b.Write(static_cast<unsigned short>(7));
    int i = 42;
    EXPECT_FALSE(b.Read(i));
    EXPECT_EQ(i, 0);
    EXPECT_EQ(b.GetReadPos(), 2u);
    double d = 1;
    EXPECT_FALSE(b.Read(d));
    EXPECT_EQ(d, 0.0);

    CZynGrowBuff s;
    s.Write(1000ul); // announces 1000 characters that are not there
    s.Write(u"x");
    CComBSTR target(u"keep");
    EXPECT_FALSE(s.Read(target));
    EXPECT_EQ(target, u"keep");
    EXPECT_EQ(s.GetReadPos(), s.GetSize());

    b.SetReadPos(0xFFFFFFF0u); // an absurd position set by a caller
    unsigned char c = 9;
    EXPECT_FALSE(b.Read(c));
    EXPECT_EQ(c, 0);
}

TEST(GrowBuffStream, IncrementSizeNeverPassesTheCapacity) {
    CZynGrowBuff b;
    b.SetCapacity(16);
    EXPECT_EQ(b.IncrementSize(1u << 20), b.GetCapacity());
}

// --- packing ---

TEST(GrowBuffPacking, SmallBufferIsStoredInAValidContainer) {
    CZynGrowBuff b;
    Fill(b, "0123456789", 10);
    b.SetReadPos(4);
    ASSERT_TRUE(b.Compress(3));
    EXPECT_TRUE(b.IsCompressed());
    EXPECT_EQ(b.GetUncompressedSize(), 10u);
    std::uint32_t sig;
    std::memcpy(&sig, b.GetBuffer(), 4);
    EXPECT_EQ(sig, 0xC0DA1A01u);
    // The stream after the header is plain zlib: zlib itself inflates it.
    unsigned char out[16];
    uLongf outLen = sizeof out;
    ASSERT_EQ(uncompress(out, &outLen, b.GetBuffer() + 12, b.GetSize() - 12), Z_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), outLen), "0123456789");

    b.SetReadPos(3);
    ASSERT_TRUE(b.Decompress());
    EXPECT_EQ(Text(b), "0123456789");
    EXPECT_EQ(b.GetReadPos(), 0u);
}

TEST(GrowBuffPacking, LargeRoundTripAtSeveralLevelsIsStandardZlib) {
    std::mt19937 rng(7);
    CZynGrowBuff src;
    for (int i = 0; i < 50000; ++i) {
        src.Write(static_cast<double>(rng() % 1000) / 10.0);
        src.Write(static_cast<unsigned long>(i) * 200);
    }
    std::vector<unsigned char> original = Bytes(src);
    for (int level : {-1, 0, 1, 3, 8, 12}) {
        CZynGrowBuff b;
        Fill(b, original.data(), original.size());
        ASSERT_TRUE(b.Compress(level)) << level;
        if (level != 0) {
            EXPECT_LT(b.GetSize(), original.size()) << level;
        }
        std::vector<unsigned char> viaZlib(original.size());
        uLongf n = static_cast<uLongf>(viaZlib.size());
        ASSERT_EQ(uncompress(viaZlib.data(), &n, b.GetBuffer() + 12, b.GetSize() - 12), Z_OK);
        EXPECT_EQ(viaZlib, original);
        ASSERT_TRUE(b.Decompress());
        EXPECT_EQ(Bytes(b), original);
    }
}

TEST(GrowBuffPacking, DetectionNeedsTwelveBytesAndBothSignatures) {
    const std::uint32_t sig = 0xC0DA1A01u;
    unsigned char eleven[11] = {};
    std::memcpy(eleven, &sig, 4);
    CZynGrowBuff a;
    Fill(a, eleven, 11);
    EXPECT_FALSE(a.IsCompressed());
    EXPECT_EQ(a.GetUncompressedSize(), 11u);
    EXPECT_TRUE(a.Decompress());
    EXPECT_EQ(a.GetSize(), 11u);

    unsigned char twelve[12] = {};
    std::memcpy(twelve, &sig, 4);
    std::memcpy(twelve + 8, &sig, 4);
    CZynGrowBuff b;
    Fill(b, twelve, 12);
    EXPECT_TRUE(b.IsCompressed());
}

TEST(GrowBuffPacking, CorruptOrLyingContainersFailAndLeaveTheBufferAlone) {
    CZynGrowBuff b;
    for (int i = 0; i < 1000; ++i)
        b.Write(i);
    ASSERT_TRUE(b.Compress(3));
    std::vector<unsigned char> container = Bytes(b);

    CZynGrowBuff corrupt;
    std::vector<unsigned char> bad = container;
    for (std::size_t i = 14; i < bad.size(); i += 3)
        bad[i] ^= 0x5A;
    Fill(corrupt, bad.data(), bad.size());
    EXPECT_FALSE(corrupt.Decompress());
    EXPECT_EQ(Bytes(corrupt), bad);

    CZynGrowBuff truncated;
    Fill(truncated, container.data(), container.size() / 2);
    EXPECT_FALSE(truncated.Decompress());
    EXPECT_EQ(truncated.GetSize(), container.size() / 2);

    // An announced size no deflate stream of this length could produce is refused before any
    // allocation of it.
    CZynGrowBuff liar;
    std::vector<unsigned char> huge = container;
    std::uint32_t announced = 0xFFFFFFF0u;
    std::memcpy(huge.data() + 4, &announced, 4);
    Fill(liar, huge.data(), huge.size());
    EXPECT_FALSE(liar.Decompress());

    // Announcing less than the stream holds is not trusted either: all the data comes back.
    CZynGrowBuff under;
    std::vector<unsigned char> small = container;
    std::uint32_t tiny = 10;
    std::memcpy(small.data() + 4, &tiny, 4);
    Fill(under, small.data(), small.size());
    ASSERT_TRUE(under.Decompress());
    EXPECT_EQ(under.GetSize(), 4000u);
}

// Unpacking straight from a byte array gives what copying it in and decompressing gives, and
// refuses (leaving the buffer alone) what Decompress or FromVariant refuse.
TEST(GrowBuffPacking, UnpackingFromAVariantMatchesCopyThenDecompress) {
    CZynGrowBuff b;
    std::mt19937 random(7);
    for (int i = 0; i < 300000; ++i)
        b.Write(static_cast<int>(random() % 1000));
    const std::vector<unsigned char> plain = Bytes(b);
    ASSERT_TRUE(b.Compress(3));
    VARIANT packed;
    VariantInit(&packed);
    ASSERT_TRUE(b.ToVariant(&packed));

    CZynGrowBuff direct;
    Fill(direct, "old", 3);
    direct.SetReadPos(2);
    ASSERT_TRUE(direct.UnpackFromVariant(&packed));
    EXPECT_EQ(Bytes(direct), plain);
    EXPECT_EQ(direct.GetReadPos(), 0u);

    CZynGrowBuff throughReference;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
    byRef.byref = &packed.parray;
    ASSERT_TRUE(throughReference.UnpackFromVariant(&byRef));
    EXPECT_EQ(Bytes(throughReference), plain);
    VariantClear(&packed);

    CZynGrowBuff refused;
    Fill(refused, "keep", 4);
    CZynGrowBuff notPacked;
    Fill(notPacked, "plain text, not packed", 22);
    ASSERT_TRUE(notPacked.ToVariant(&packed));
    EXPECT_FALSE(refused.UnpackFromVariant(&packed));
    VariantClear(&packed);
    std::vector<unsigned char> corrupt = Bytes(b);
    for (std::size_t i = 14; i < corrupt.size(); i += 3)
        corrupt[i] ^= 0x5A;
    CZynGrowBuff damaged;
    Fill(damaged, corrupt.data(), corrupt.size());
    ASSERT_TRUE(damaged.ToVariant(&packed));
    EXPECT_FALSE(refused.UnpackFromVariant(&packed));
    VariantClear(&packed);
    EXPECT_FALSE(refused.UnpackFromVariant(nullptr));
    EXPECT_EQ(Text(refused), "keep");
}

// Releasing what was read keeps the size, the read position and every byte not yet read; a buffer
// not marked read-once keeps what was read too.
TEST(GrowBuffStream, ReleasingReadBytesKeepsWhatIsStillToBeRead) {
    CZynGrowBuff b;
    for (int i = 0; i < 1 << 20; ++i)
        b.Write(i);
    int v = 0;
    b.SetReadPos(400000);
    b.ReleaseReadBytes();
    b.SetReadPos(0);
    for (int i = 0; i < 300000; ++i) {
        ASSERT_TRUE(b.Read(v));
        ASSERT_EQ(v, i) << "released without read-once";
    }
    b.SetReadOnce(true);
    b.ReleaseReadBytes();
    EXPECT_EQ(b.GetSize(), 4u << 20);
    EXPECT_EQ(b.GetReadPos(), 1200000u);
    for (int i = 300000; i < 1 << 20; ++i) {
        ASSERT_TRUE(b.Read(v));
        ASSERT_EQ(v, i);
    }
    b.ReleaseReadBytes(); // everything read: nothing left to keep
    CZynGrowBuff empty;
    empty.ReleaseReadBytes();
    EXPECT_EQ(empty.GetSize(), 0u);
}

TEST(GrowBuffPacking, ChecksumsStartFromTheProductSeed) {
    CZynGrowBuff empty;
    EXPECT_EQ(empty.Crc32(), 0u);
    EXPECT_EQ(empty.Crc232(), 0u);
    CZynGrowBuff b;
    Fill(b, "abc", 3);
    EXPECT_EQ(b.Crc32(), crc32(0x10076169u, reinterpret_cast<const Bytef*>("abc"), 3));
    EXPECT_NE(b.Crc32(), crc32(0, reinterpret_cast<const Bytef*>("abc"), 3));
    // Adler-32 from s1 = 0x6169, s2 = 0x1007, worked by hand for "abc".
    std::uint32_t s1 = 0x6169, s2 = 0x1007;
    for (unsigned char c : std::string("abc")) {
        s1 = (s1 + c) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    EXPECT_EQ(b.Crc232(), (s2 << 16) | s1);
}

TEST(GrowBuffBase64, EncodesWithPaddingAndATerminatingZero) {
    CZynGrowBuff b;
    Fill(b, "abc", 3);
    EXPECT_EQ(b.Encode64(), 4u);
    EXPECT_EQ(b.GetSize(), 5u);
    EXPECT_EQ(Text(b), std::string("YWJj\0", 5));
    ASSERT_TRUE(b.Decode64());
    EXPECT_EQ(Text(b), "abc");

    CZynGrowBuff one;
    unsigned char ff = 0xFF;
    Fill(one, &ff, 1);
    EXPECT_EQ(one.Encode64(), 4u);
    EXPECT_EQ(Text(one), std::string("/w==\0", 5));
    ASSERT_TRUE(one.Decode64());
    EXPECT_EQ(Bytes(one), std::vector<unsigned char>{0xFF});

    CZynGrowBuff empty;
    EXPECT_EQ(empty.Encode64(), 0u);
    EXPECT_FALSE(empty.Decode64());
}

TEST(GrowBuffBase64, DecodeSkipsForeignCharactersAndRefusesADanglingCharacter) {
    CZynGrowBuff b;
    Fill(b, "YW\r\nJ j\tZG VmZw==", 17);
    ASSERT_TRUE(b.Decode64());
    EXPECT_EQ(Text(b), "abcdefg");

    CZynGrowBuff q;
    Fill(q, "Q", 1);
    EXPECT_FALSE(q.Decode64());
    EXPECT_EQ(Text(q), "Q");

    CZynGrowBuff five;
    Fill(five, "YWJjZ", 5);
    EXPECT_FALSE(five.Decode64());
    EXPECT_EQ(Text(five), "YWJjZ");
}

TEST(GrowBuffBase64, EveryLengthRoundTrips) {
    std::mt19937 rng(3);
    for (std::uint32_t n = 1; n < 70; ++n) {
        std::vector<unsigned char> data(n);
        for (auto& c : data)
            c = static_cast<unsigned char>(rng());
        CZynGrowBuff b;
        Fill(b, data.data(), n);
        EXPECT_EQ(b.Encode64(), CZynGrowBuff::int_EncodedSize(n));
        ASSERT_TRUE(b.Decode64());
        EXPECT_EQ(Bytes(b), data) << n;
    }
}

TEST(GrowBuffText, StringPipelineRestoresTheRecord) {
    CZynGrowBuff b;
    for (int i = 0; i < 100; ++i)
        b.Write(i * 1.25);
    std::vector<unsigned char> original = Bytes(b);
    ASSERT_TRUE(b.Compress(3));
    b.Encode64();
    CComBSTR text;
    ASSERT_TRUE(b.ToString(text));
    EXPECT_EQ(text.Length() + 1, b.GetSize()); // the text without the zero byte

    CZynGrowBuff back;
    back.Write(123); // overwritten: FromString writes at the start
    ASSERT_TRUE(back.FromString(text));
    ASSERT_TRUE(back.Decode64());
    ASSERT_TRUE(back.Decompress());
    EXPECT_EQ(Bytes(back), original);
}

TEST(GrowBuffText, EmptyCasesChangeNothing) {
    CZynGrowBuff unallocated;
    CComBSTR text(u"keep");
    EXPECT_TRUE(unallocated.ToString(text));
    EXPECT_EQ(text, u"keep");
    CZynGrowBuff b;
    b.Write(5);
    EXPECT_TRUE(b.FromString(CComBSTR()));
    EXPECT_EQ(b.GetSize(), 4u);
    // Content without a terminator converts only what was written.
    CZynGrowBuff unterminated;
    Fill(unterminated, "AB", 2);
    unterminated.SetCapacity(4096);
    ASSERT_TRUE(unterminated.ToString(text));
    EXPECT_EQ(text, u"AB");
}

TEST(GrowBuffVariant, ByteArraysRoundTripAndAppend) {
    CZynGrowBuff b;
    Fill(b, "hello", 5);
    VARIANT v;
    VariantInit(&v);
    ASSERT_TRUE(b.ToVariant(&v));
    EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
    LONG lo = -1, hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 4);
    EXPECT_EQ(Text(b), "hello");

    CZynGrowBuff target;
    Fill(target, "say ", 4);
    ASSERT_TRUE(target.FromVariant(&v));
    EXPECT_EQ(Text(target), "say hello");

    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
    byRef.byref = &v.parray;
    ASSERT_TRUE(target.FromVariant(&byRef));
    EXPECT_EQ(Text(target), "say hellohello");
    VariantClear(&v);

    VARIANT wrong;
    VariantInit(&wrong);
    EXPECT_FALSE(target.FromVariant(nullptr));
    EXPECT_FALSE(target.FromVariant(&wrong));
    wrong.vt = VT_ARRAY | VT_R8;
    wrong.parray = SafeArrayCreateVector(VT_R8, 0, 2);
    EXPECT_FALSE(target.FromVariant(&wrong));
    VariantClear(&wrong);
    wrong.vt = VT_ARRAY | VT_UI1;
    wrong.parray = nullptr;
    EXPECT_FALSE(target.FromVariant(&wrong));
    EXPECT_FALSE(b.ToVariant(nullptr));
}

} // namespace

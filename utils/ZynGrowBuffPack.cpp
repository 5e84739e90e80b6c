// The packing half of CZynGrowBuff: compression container, checksums, Base64 and the conversions
// to strings and byte-array variants. Each operation builds its result aside and takes it over
// only on success, so a failure leaves the buffer exactly as it was.

#include "ZynGrowBuff.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <memory>

namespace {

constexpr std::uint32_t kHeaderSize = 12;
constexpr std::uint32_t kCrcSeed = 0x10076169u;
// Deflate cannot expand data by more than about 1032:1, so an announced size beyond that is a lie;
// the absolute cap keeps a hostile header from reserving gigabytes.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint32_t kMaxUncompressed = 0x40000000u; // 1 GiB

std::uint32_t LoadU32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Tiny inputs are stored rather than compressed (a 64-byte record does not shrink); libdeflate has
// no stored level, so zlib's level 0 makes them.
bool StoreWithZlib(const unsigned char* data, std::uint32_t size, CZynGrowBuff& out) {
    z_stream zs{};
    if (deflateInit(&zs, 0) != Z_OK) return false;
    uLong bound = deflateBound(&zs, size);
    bool ok = out.SetCapacity(out.GetSize() + static_cast<std::uint32_t>(bound));
    if (ok) {
        zs.next_in = const_cast<unsigned char*>(data);
        zs.avail_in = size;
        zs.next_out = out.GetBuffer() + out.GetSize();
        zs.avail_out = static_cast<uInt>(bound);
        ok = deflate(&zs, Z_FINISH) == Z_STREAM_END;
        if (ok) out.IncrementSize(static_cast<std::uint32_t>(zs.total_out));
    }
    deflateEnd(&zs);
    return ok;
}

// Streams a zlib inflate when the whole-buffer decoder found more output than announced (the
// announced size is not trusted either way).
bool InflateStreaming(const unsigned char* in, std::uint32_t inSize, std::uint32_t reserve,
                      CZynGrowBuff& out) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    if (!out.SetCapacity(reserve)) {
        inflateEnd(&zs);
        return false;
    }
    zs.next_in = const_cast<unsigned char*>(in);
    zs.avail_in = inSize;
    unsigned char chunk[8192];
    int rc;
    do {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        std::uint32_t produced = static_cast<std::uint32_t>(sizeof chunk - zs.avail_out);
        if (std::uint64_t(out.GetSize()) + produced > kMaxUncompressed || !out.Write(chunk, produced)) {
            rc = Z_MEM_ERROR;
            break;
        }
        if (rc == Z_OK && produced == 0 && zs.avail_in == 0) {
            rc = Z_DATA_ERROR; // truncated stream: no input left and no end
            break;
        }
    } while (rc != Z_STREAM_END);
    inflateEnd(&zs);
    return rc == Z_STREAM_END;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct DecodeTable {
    signed char value[256];
    constexpr DecodeTable() : value{} {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
};
constexpr DecodeTable kDecode;

bool IsPacked(const unsigned char* data, std::uint32_t size) {
    return size > 11 && LoadU32(data) == CZynGrowBuff::int_GetCompressSig() &&
           LoadU32(data + 8) == CZynGrowBuff::int_GetCompressSig();
}

// Unpacks packed bytes (header included) into `out`, which must be empty.
bool Unpack(const unsigned char* packed, std::uint32_t packedSize, CZynGrowBuff& out) {
    const std::uint32_t announced = LoadU32(packed + 4);
    const unsigned char* in = packed + kHeaderSize;
    const std::uint32_t inSize = packedSize - kHeaderSize;
    if (announced > kMaxUncompressed || announced > std::uint64_t(inSize) * kMaxInflateRatio + 64)
        return false;

    if (!out.SetCapacity(announced + 32)) return false;
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> d(libdeflate_alloc_decompressor());
    if (!d) return false;
    std::size_t produced = 0;
    libdeflate_result rc =
        libdeflate_zlib_decompress(d.get(), in, inSize, out.GetBuffer(), announced, &produced);
    if (rc == LIBDEFLATE_SUCCESS) {
        out.IncrementSize(static_cast<std::uint32_t>(produced));
        return true;
    }
    if (rc == LIBDEFLATE_INSUFFICIENT_SPACE) {
        // More data than announced: the reader does not rely on the announcement, so decode it all.
        out.Release();
        return InflateStreaming(in, inSize, announced + 32, out);
    }
    return false;
}

} // namespace

bool CZynGrowBuff::IsCompressed() const {
    return IsPacked(m_buffer, m_size);
}

std::uint32_t CZynGrowBuff::GetUncompressedSize() const {
    return IsCompressed() ? LoadU32(m_buffer + 4) : m_size;
}

bool CZynGrowBuff::Compress(int level) {
    CZynGrowBuff temp;
    if (!temp.SetCapacity(kHeaderSize + m_size / 5)) return false;
    temp.Write(static_cast<unsigned long>(int_GetCompressSig()));
    temp.Write(static_cast<unsigned long>(m_size));
    temp.Write(static_cast<unsigned long>(int_GetCompressSig()));

    if (level < 0) level = 6; // zlib's default level
    if (m_size < 64 || level == 0) {
        if (!StoreWithZlib(m_buffer, m_size, temp)) return false;
    } else {
        std::unique_ptr<libdeflate_compressor, CompressorDeleter> c(
            libdeflate_alloc_compressor(level > 12 ? 12 : level));
        if (!c) return false;
        std::size_t bound = libdeflate_zlib_compress_bound(c.get(), m_size);
        if (bound > 0xFFFFFFFFull - kHeaderSize ||
            !temp.SetCapacity(static_cast<std::uint32_t>(kHeaderSize + bound)))
            return false;
        std::size_t n =
            libdeflate_zlib_compress(c.get(), m_buffer, m_size, temp.GetBuffer() + kHeaderSize, bound);
        if (n == 0) return false;
        temp.IncrementSize(static_cast<std::uint32_t>(n));
    }
    int_TakeHandoff(temp);
    return true;
}

bool CZynGrowBuff::Decompress() {
    if (!IsCompressed()) return true;
    CZynGrowBuff temp;
    if (!Unpack(m_buffer, m_size, temp)) return false;
    int_TakeHandoff(temp);
    return true;
}

std::uint32_t CZynGrowBuff::Crc32() const {
    if (m_size == 0 || !m_buffer) return 0;
    return static_cast<std::uint32_t>(::crc32_z(kCrcSeed, m_buffer, m_size));
}

std::uint32_t CZynGrowBuff::Crc232() const {
    if (m_size == 0 || !m_buffer) return 0;
    return static_cast<std::uint32_t>(::adler32_z(kCrcSeed, m_buffer, m_size));
}

void CZynGrowBuff::int_Encode(const unsigned char* data, std::uint32_t length, bool pad,
                              unsigned char*& out) {
    std::uint32_t i = 0;
    for (; i + 3 <= length; i += 3) {
        std::uint32_t v = std::uint32_t(data[i]) << 16 | std::uint32_t(data[i + 1]) << 8 | data[i + 2];
        *out++ = static_cast<unsigned char>(kAlphabet[v >> 18]);
        *out++ = static_cast<unsigned char>(kAlphabet[(v >> 12) & 63]);
        *out++ = static_cast<unsigned char>(kAlphabet[(v >> 6) & 63]);
        *out++ = static_cast<unsigned char>(kAlphabet[v & 63]);
    }
    std::uint32_t rest = length - i;
    if (rest == 0) return;
    std::uint32_t v = std::uint32_t(data[i]) << 16 | (rest == 2 ? std::uint32_t(data[i + 1]) << 8 : 0);
    *out++ = static_cast<unsigned char>(kAlphabet[v >> 18]);
    *out++ = static_cast<unsigned char>(kAlphabet[(v >> 12) & 63]);
    if (rest == 2)
        *out++ = static_cast<unsigned char>(kAlphabet[(v >> 6) & 63]);
    else if (pad)
        *out++ = '=';
    if (pad) *out++ = '=';
}

bool CZynGrowBuff::int_DecodeQuantum(unsigned char*& out, const unsigned char quad[4], int count) {
    if (count < 2 || count > 4) return count == 0;
    std::uint32_t v = std::uint32_t(quad[0]) << 18 | std::uint32_t(quad[1]) << 12 |
                      (count > 2 ? std::uint32_t(quad[2]) << 6 : 0) | (count > 3 ? quad[3] : 0);
    *out++ = static_cast<unsigned char>(v >> 16);
    if (count > 2) *out++ = static_cast<unsigned char>(v >> 8);
    if (count > 3) *out++ = static_cast<unsigned char>(v);
    return true;
}

void CZynGrowBuff::int_Decode(const unsigned char* data, std::uint32_t length, unsigned char*& out,
                              bool& ok) {
    unsigned char quad[4];
    int count = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        signed char v = kDecode.value[data[i]];
        if (v < 0) continue; // padding, the terminator, line breaks and anything else are skipped
        quad[count++] = static_cast<unsigned char>(v);
        if (count == 4) {
            int_DecodeQuantum(out, quad, 4);
            count = 0;
        }
    }
    ok = int_DecodeQuantum(out, quad, count);
}

std::uint32_t CZynGrowBuff::Encode64() {
    if (m_size == 0) return 0;
    std::uint64_t encoded = int_EncodedSize(m_size);
    if (encoded + 1 > 0xFFFFFFFFull) return 0;
    CZynGrowBuff temp;
    if (!temp.SetCapacity(static_cast<std::uint32_t>(encoded + 1))) return 0;
    unsigned char* out = temp.GetBuffer();
    int_Encode(m_buffer, m_size, true, out);
    *out = 0;
    temp.IncrementSize(static_cast<std::uint32_t>(encoded + 1));
    int_TakeHandoff(temp);
    return static_cast<std::uint32_t>(encoded);
}

bool CZynGrowBuff::Decode64() {
    if (m_size == 0) return false;
    CZynGrowBuff temp;
    if (!temp.SetCapacity(int_DecodeSize(m_size) + 1)) return false;
    unsigned char* out = temp.GetBuffer();
    bool ok = false;
    int_Decode(m_buffer, m_size, out, ok);
    if (!ok) return false;
    temp.IncrementSize(static_cast<std::uint32_t>(out - temp.GetBuffer()));
    int_TakeHandoff(temp);
    return true;
}

bool CZynGrowBuff::ToString(CComBSTR& text) const {
    if (!m_buffer) return true;
    // Never read past the written size, terminator or not.
    const void* zero = std::memchr(m_buffer, 0, m_size);
    std::size_t len =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - m_buffer) : m_size;
    std::u16string wide =
        zyn::com::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(m_buffer), len));
    BSTR fresh = zyn::com::AllocBstr(wide);
    if (!fresh) return false;
    text.Attach(fresh);
    return true;
}

bool CZynGrowBuff::FromString(const CComBSTR& text) {
    if (text.IsEmpty()) return true;
    std::string narrow = zyn::com::Utf16ToUtf8(text.View());
    if (narrow.size() >= 0xFFFFFFFFull) return false;
    auto length = static_cast<std::uint32_t>(narrow.size());
    if (!int_EnsureSize(length + 1)) return false;
    std::memcpy(m_buffer, narrow.data(), length);
    m_buffer[length] = 0;
    m_size = length + 1;
    return true;
}

bool CZynGrowBuff::ToVariant(VARIANT* v) const {
    if (!v) return false;
    VariantClear(v);
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, m_size);
    if (!psa) return false;
    if (m_size) std::memcpy(psa->pvData, m_buffer, m_size);
    v->vt = VT_ARRAY | VT_UI1;
    v->parray = psa;
    return true;
}

namespace {

// The bytes of a one-dimensional byte array held by `v` (by value or by reference), handed to `use`
// while the array is locked.
template <typename Use> bool WithVariantBytes(const VARIANT* v, Use use) {
    if (!v || !(v->vt & VT_ARRAY)) return false;
    VARTYPE element = static_cast<VARTYPE>(v->vt & VT_TYPEMASK);
    if (element != VT_UI1 && element != VT_I1) return false;
    // A script host may hand the array by reference; follow it once.
    SAFEARRAY* psa =
        (v->vt & VT_BYREF) ? (v->byref ? *static_cast<SAFEARRAY**>(v->byref) : nullptr) : v->parray;
    if (!psa) return false;
    if (FAILED(SafeArrayLock(psa))) return false;
    LONG lo = 0, hi = -1;
    void* data = nullptr;
    bool ok = SafeArrayGetDim(psa) == 1 && SUCCEEDED(SafeArrayGetLBound(psa, 1, &lo)) &&
              SUCCEEDED(SafeArrayGetUBound(psa, 1, &hi)) && SUCCEEDED(SafeArrayAccessData(psa, &data));
    if (ok) {
        std::int64_t count = std::int64_t(hi) - lo + 1;
        ok = count >= 0 && count <= 0xFFFFFFFF && (count == 0 || data) &&
             use(static_cast<const unsigned char*>(data), static_cast<std::uint32_t>(count));
        SafeArrayUnaccessData(psa);
    }
    SafeArrayUnlock(psa);
    return ok;
}

} // namespace

bool CZynGrowBuff::FromVariant(const VARIANT* v) {
    return WithVariantBytes(
        v, [this](const unsigned char* data, std::uint32_t size) { return Write(data, size); });
}

bool CZynGrowBuff::UnpackFromVariant(const VARIANT* v) {
    CZynGrowBuff temp;
    const bool ok = WithVariantBytes(v, [&temp](const unsigned char* data, std::uint32_t size) {
        return IsPacked(data, size) && Unpack(data, size, temp);
    });
    if (!ok) return false;
    int_TakeHandoff(temp);
    return true;
}

#include "ZynPng.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

namespace {

constexpr int kMaxSide = 1 << 15;
// Chunks of image data stay well below the format's 2^31 limit.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// Length, type, data and the CRC of type and data.
void PutChunk(std::vector<std::uint8_t>& out, std::string_view type, const std::uint8_t* data,
              std::size_t size) {
    PutU32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    if (size > 0) out.insert(out.end(), data, data + size);
    PutU32(out, static_cast<std::uint32_t>(::crc32_z(0, out.data() + typeAt, 4 + size)));
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

} // namespace

std::vector<std::uint8_t> ZynEncodePng(const unsigned char* pixels, int width, int height, std::size_t stride,
                                       int dotsPerMetreX, int dotsPerMetreY) {
    if (!pixels || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        stride < std::size_t(width) * 4)
        return {};
    // Each row: filter type 0 (none), then red, green, blue.
    const std::size_t rowBytes = 1 + std::size_t(width) * 3;
    // Left uninitialised: every byte is written below (a cleared megabyte would cost a pass).
    const std::size_t rawSize = rowBytes * std::size_t(height);
    std::unique_ptr<std::uint8_t[]> raw(new (std::nothrow) std::uint8_t[rawSize]);
    if (!raw) return {};
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + stride * std::size_t(y);
        std::uint8_t* out = raw.get() + rowBytes * std::size_t(y);
        *out++ = 0;
        for (int x = 0; x < width; ++x) {
            std::uint32_t v;
            std::memcpy(&v, in + 4 * std::size_t(x), 4);
            *out++ = static_cast<std::uint8_t>(v >> 16);
            *out++ = static_cast<std::uint8_t>(v >> 8);
            *out++ = static_cast<std::uint8_t>(v);
        }
    }
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(1));
    if (!compressor) return {};
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rawSize);
    std::unique_ptr<std::uint8_t[]> packed(new (std::nothrow) std::uint8_t[bound]);
    if (!packed) return {};
    const std::size_t packedSize =
        libdeflate_zlib_compress(compressor.get(), raw.get(), rawSize, packed.get(), bound);
    if (packedSize == 0) return {};

    std::vector<std::uint8_t> png;
    png.reserve(packedSize + 128);
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.insert(png.end(), std::begin(kSignature), std::end(kSignature));
    std::vector<std::uint8_t> header;
    PutU32(header, static_cast<std::uint32_t>(width));
    PutU32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter set, not interlaced
    PutChunk(png, "IHDR", header.data(), header.size());
    if (dotsPerMetreX > 0 && dotsPerMetreY > 0) {
        std::vector<std::uint8_t> phys;
        PutU32(phys, static_cast<std::uint32_t>(dotsPerMetreX));
        PutU32(phys, static_cast<std::uint32_t>(dotsPerMetreY));
        phys.push_back(1); // the unit is the metre
        PutChunk(png, "pHYs", phys.data(), phys.size());
    }
    for (std::size_t at = 0; at < packedSize; at += kMaxChunk)
        PutChunk(png, "IDAT", packed.get() + at, std::min(kMaxChunk, packedSize - at));
    PutChunk(png, "IEND", nullptr, 0);
    return png;
}

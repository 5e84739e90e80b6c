#pragma once
// PNG images encoded for speed: 8-bit RGB, scanlines unfiltered, deflated by libdeflate at its
// fastest level. Charts are mostly flat colour, which even the fastest level packs well, while a
// general encoder spends most of a small export trying every filter on every row at a stronger
// level.

#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes `height` rows of `width` pixels, each a 32-bit 0xAARRGGBB word in native byte order
// (alpha is left out), `stride` bytes from the start of one row to the next. Dots per metre of 0
// leave out the physical size. Empty when the size is empty or too large, or memory runs out.
std::vector<std::uint8_t> ZynEncodePng(const unsigned char* pixels, int width, int height, std::size_t stride,
                                       int dotsPerMetreX = 0, int dotsPerMetreY = 0);

// Arbitrary bytes through every way untrusted data enters a CZynGrowBuff: text (FromString),
// Base64 (Decode64), the compressed container (Decompress) and the typed reads of a record reader.

#include "utils/ZynGrowBuff.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void ReadEverything(CZynGrowBuff& b, std::uint8_t pattern) {
    b.SetReadPos(0);
    for (int i = 0; i < 64 && b.GetReadRemaining() > 0; ++i) {
        switch ((pattern >> (i % 4 * 2)) & 3) {
        case 0: {
            CComBSTR s;
            b.Read(s);
            break;
        }
        case 1: {
            double d;
            b.Read(d);
            break;
        }
        case 2: {
            unsigned long ul;
            b.Read(ul);
            break;
        }
        default: {
            unsigned short us;
            bool flag;
            b.Read(us);
            b.Read(flag);
            break;
        }
        }
    }
    b.Crc32();
    b.Crc232();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    CZynGrowBuff raw;
    raw.Write(data, static_cast<unsigned long>(size));
    switch (mode % 4) {
    case 0: { // the whole text pipeline, as a record pasted from the clipboard
        CComBSTR text(static_cast<UINT>(size / 2), reinterpret_cast<const char16_t*>(data));
        CZynGrowBuff b;
        if (b.FromString(text) && b.Decode64() && b.Decompress()) ReadEverything(b, mode);
        CComBSTR back;
        b.ToString(back);
        break;
    }
    case 1: // Base64 bytes directly
        if (raw.Decode64()) {
            raw.Decompress();
            ReadEverything(raw, mode);
        }
        break;
    case 2: { // a container with valid signatures around arbitrary stream bytes
        CZynGrowBuff b;
        const std::uint32_t sig = CZynGrowBuff::int_GetCompressSig();
        std::uint32_t announced = 0;
        std::memcpy(&announced, data, size < 4 ? size : 4);
        b.Write(static_cast<unsigned long>(sig));
        b.Write(static_cast<unsigned long>(announced));
        b.Write(static_cast<unsigned long>(sig));
        if (size > 4) b.Write(data + 4, static_cast<unsigned long>(size - 4));
        if (b.Decompress()) ReadEverything(b, mode);
        break;
    }
    default: // typed reads over raw bytes, then a round trip that must restore them
        ReadEverything(raw, mode);
        if (raw.Compress(mode & 0x10 ? 8 : 3)) {
            if (!raw.Decompress() || raw.GetSize() != size ||
                (size && std::memcmp(raw.GetBuffer(), data, size) != 0))
                __builtin_trap();
        }
        break;
    }
    return 0;
}

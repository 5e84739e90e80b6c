#pragma once
// CZynGrowBuff: the one byte container through which the whole system serialises. It is a growable
// byte array with an explicit capacity and, at the same time, a sequential stream: writes append at
// the end, reads take values from a read position. The byte layout of every value is fixed
// (little-endian, no padding, no tags) because files written by one component are read by another.

#include "com/ccombstr.h"
#include "com/variant.h"

#include <cstdint>

class CZynGrowBuff {
public:
    CZynGrowBuff() = default;
    ~CZynGrowBuff() { int_Free(); }
    CZynGrowBuff(const CZynGrowBuff&) = delete;
    CZynGrowBuff& operator=(const CZynGrowBuff&) = delete;

    void Release() { int_Free(); }

    // Access
    unsigned char* GetBuffer() const { return m_buffer; }
    operator void*() const { return m_buffer; }
    std::uint32_t GetSize() const { return m_size; }
    std::uint32_t GetCapacity() const { return m_capacity; }
    std::uint32_t GetReadPos() const { return m_readPos; }
    void SetReadPos(std::uint32_t pos) { m_readPos = pos; }
    // Grows to at least n bytes; never shrinks. False when the heap refuses.
    bool SetCapacity(std::uint32_t n) { return int_EnsureSize(n); }
    // For callers that reserved room with SetCapacity and wrote through GetBuffer(). The size is
    // clamped to the capacity so that a miscounting caller cannot make later reads run off the block.
    std::uint32_t IncrementSize(std::uint32_t n);

    // Writing: each appends the value's encoding at the end. False only when memory runs out.
    bool Write(bool v);
    bool Write(unsigned char v);
    bool Write(unsigned short v);
    bool Write(int v);
    bool Write(long v);          // 4 bytes: the stored formats' long is 32 bits
    bool Write(unsigned long v); // 4 bytes: the stored formats' long is 32 bits
    bool Write(double v);
    bool Write(const void* data, unsigned long length);
    bool Write(const CZynGrowBuff& other);
    bool Write(const CComBSTR& s);
    bool Write(const char16_t* s);

    // Reading: each copies the encoded bytes at the read position and advances it. A read that would
    // pass the written size yields zero (or leaves a string untouched), moves the read position to
    // the size and returns false: it never touches memory outside what was written.
    bool Read(bool& v);
    bool Read(unsigned char& v);
    bool Read(unsigned short& v);
    bool Read(int& v);
    bool Read(long& v);
    bool Read(unsigned long& v);
    bool Read(double& v);
    bool Read(CComBSTR& s);

    // Bytes left between the read position and the size (0 when the position is past the size).
    std::uint32_t GetReadRemaining() const { return m_readPos < m_size ? m_size - m_readPos : 0; }
    // For a reader that reads the content once from start to end: once SetReadOnce(true) was called,
    // ReleaseReadBytes gives the whole memory pages before the read position back to the system, so
    // that a large record read into objects does not stay resident beside them. The bytes there
    // read as zero afterwards; the size, the read position and everything after it stay as they
    // are. Without read-once (a buffer that may be read again) it does nothing.
    void SetReadOnce(bool once) { m_readOnce = once; }
    void ReleaseReadBytes();

    // Packing: the whole content converted in place.
    bool Compress(int level);
    bool Decompress();
    bool IsCompressed() const;
    std::uint32_t GetUncompressedSize() const;
    std::uint32_t Crc32() const;
    std::uint32_t Crc232() const;
    std::uint32_t Encode64();
    bool Decode64();
    bool ToString(CComBSTR& text) const;
    bool FromString(const CComBSTR& text);
    bool ToVariant(VARIANT* v) const;
    bool FromVariant(const VARIANT* v);
    // What FromVariant followed by Decompress gives for packed content, unpacked straight from the
    // array's bytes (no copy of the packed bytes is made). False, leaving the buffer as it was, for
    // anything FromVariant refuses, content that is not packed, or packing that does not unpack.
    bool UnpackFromVariant(const VARIANT* v);

    static std::uint32_t int_GetCompressSig() { return 0xC0DA1A01u; }
    static std::uint32_t int_EncodedSize(std::uint32_t n) { return (n + 2) / 3 * 4; }
    static std::uint32_t int_DecodeSize(std::uint32_t n) {
        return static_cast<std::uint32_t>((3ull * n + 3) / 4);
    }

    // Internal; public for the packing code and the tests.
    void int_Free();
    void int_TakeHandoff(CZynGrowBuff& other);
    bool int_EnsureSize(std::uint32_t n);
    static void int_Encode(const unsigned char* data, std::uint32_t length, bool pad, unsigned char*& out);
    static void int_Decode(const unsigned char* data, std::uint32_t length, unsigned char*& out, bool& ok);
    static bool int_DecodeQuantum(unsigned char*& out, const unsigned char quad[4], int count);

private:
    bool int_WriteRaw(const void* data, std::uint32_t length);
    bool int_ReadRaw(void* data, std::uint32_t length);

    unsigned char* m_buffer = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_readPos = 0;
    bool m_readOnce = false;
};

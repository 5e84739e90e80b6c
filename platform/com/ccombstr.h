#pragma once
// CComBSTR: owns one BSTR. Null and empty are the same string to every reader.

#include "bstr.h"
#include "hresult.h"

#include <memory>
#include <string_view>
#include <utility>

class CComBSTR {
public:
    BSTR m_str = nullptr;

    CComBSTR() = default;
    CComBSTR(const OLECHAR* s) : m_str(SysAllocString(s)) {}
    CComBSTR(UINT length, const OLECHAR* s) : m_str(SysAllocStringLen(s, length)) {}
    explicit CComBSTR(std::u16string_view s) : m_str(zyn::com::AllocBstr(s)) {}
    CComBSTR(const CComBSTR& o) : m_str(o.Copy()) {}
    CComBSTR(CComBSTR&& o) noexcept : m_str(std::exchange(o.m_str, nullptr)) {}
    ~CComBSTR() { SysFreeString(m_str); }

    CComBSTR& operator=(const CComBSTR& o) {
        if (this != std::addressof(o)) Reset(o.Copy());
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& o) noexcept {
        if (this != std::addressof(o)) Reset(std::exchange(o.m_str, nullptr));
        return *this;
    }
    CComBSTR& operator=(const OLECHAR* s) {
        Reset(SysAllocString(s));
        return *this;
    }

    static CComBSTR FromUtf8(std::string_view s) {
        CComBSTR b;
        b.m_str = zyn::com::AllocBstrUtf8(s);
        return b;
    }

    operator BSTR() const { return m_str; }
    BSTR* operator&() { return &m_str; }
    UINT Length() const { return SysStringLen(m_str); }
    UINT ByteLength() const { return SysStringByteLen(m_str); }
    bool IsEmpty() const { return Length() == 0; }
    std::u16string_view View() const { return zyn::com::BstrView(m_str); }
    std::string ToUtf8() const { return zyn::com::Utf16ToUtf8(View()); }

    BSTR Copy() const {
        return m_str ? SysAllocStringByteLen(reinterpret_cast<const char*>(m_str), ByteLength()) : nullptr;
    }
    BSTR Detach() { return std::exchange(m_str, nullptr); }
    void Attach(BSTR s) { Reset(s); }
    void Empty() { Reset(nullptr); }
    HRESULT CopyTo(BSTR* out) const {
        if (!out) return E_POINTER;
        *out = Copy();
        return (*out || !m_str) ? S_OK : E_OUTOFMEMORY;
    }
    bool Append(std::u16string_view more) {
        std::u16string joined(View());
        joined += more;
        BSTR fresh = zyn::com::AllocBstr(joined);
        if (!fresh) return false;
        Reset(fresh);
        return true;
    }

    friend bool operator==(const CComBSTR& a, const CComBSTR& b) { return a.View() == b.View(); }
    friend bool operator==(const CComBSTR& a, std::u16string_view b) { return a.View() == b; }
    friend bool operator==(const CComBSTR& a, const char16_t* b) {
        return a.View() == std::u16string_view(b ? b : u"");
    }

private:
    void Reset(BSTR s) {
        SysFreeString(m_str);
        m_str = s;
    }
};

// Late binding through the generated tables: name lookup, member kinds, argument conversion and
// counting, optional arguments with defaults, and errors surfacing as exceptions with the error
// object's text.

#include "objlib/ZynInterfaces.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"
#include "testing/TestObjects.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zyn::test::CTestFilter;
using zyn::test::CTestUtils;

DISPID IdOf(IDispatch* d, const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(IID{}, names, 1, 0, &id), S_OK) << zyn::com::Utf16ToUtf8(name);
    return id;
}

// Calls with arguments given first-to-last (reversed into DISPPARAMS as the convention wants).
HRESULT Call(IDispatch* d, const char16_t* name, WORD flags, std::vector<CComVariant> args, VARIANT* result,
             EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS p{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        p.rgdispidNamedArgs = &put;
        p.cNamedArgs = 1;
    }
    return d->Invoke(IdOf(d, name), IID{}, 0, flags, &p, result, excep, argErr);
}

TEST(Dispatch, NamesAreCaseInsensitiveAndUnknownNamesFail) {
    auto f = zyn::com::MakeObject<CTestFilter>();
    EXPECT_EQ(IdOf(f, u"name"), 0x60020001);
    EXPECT_EQ(IdOf(f, u"DETACH"), 0x60020000);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Nope")};
    DISPID id = 0;
    EXPECT_EQ(f->GetIDsOfNames(IID{}, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    UINT count = 0;
    f->GetTypeInfoCount(&count);
    EXPECT_EQ(count, 1u);
}

TEST(Dispatch, PropertiesAndMethodsByKind) {
    auto f = zyn::com::MakeObject<CTestFilter>();
    CComVariant r;
    ASSERT_EQ(Call(f, u"Name", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_BSTR);
    EXPECT_EQ(zyn::com::BstrView(r.bstrVal), u"Filter-1");

    ASSERT_EQ(Call(f, u"Name", DISPATCH_PROPERTYPUT, {CComVariant(u"Mine")}, nullptr), S_OK);
    EXPECT_EQ(f->name, u"Mine");

    // A number put into a long property converts; a put without the named argument is refused.
    ASSERT_EQ(Call(f, u"Enable", DISPATCH_PROPERTYPUT, {CComVariant(0.0)}, nullptr), S_OK);
    EXPECT_EQ(f->enable, 0);
    // Hosts that put without the named argument are served as well.
    CComVariant one(1);
    DISPPARAMS unnamed{&one, nullptr, 1, 0};
    ASSERT_EQ(
        f->Invoke(IdOf(f, u"Enable"), IID{}, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(f->enable, 1);

    // Scripts call methods with METHOD|PROPERTYGET.
    ASSERT_EQ(Call(f, u"Detach", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(f->detached, 1);
    // A method is not a property to put.
    EXPECT_EQ(Call(f, u"Detach", DISPATCH_PROPERTYPUT, {CComVariant(1)}, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST(Dispatch, ArgumentCountAndTypeErrors) {
    auto u = zyn::com::MakeObject<CTestUtils>();
    CComVariant r;
    EXPECT_EQ(Call(u, u"ZynRGB", DISPATCH_METHOD, {CComVariant(1), CComVariant(2)}, &r),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(u, u"ZynRGB", DISPATCH_METHOD,
                   {CComVariant(1), CComVariant(2), CComVariant(3), CComVariant(4)}, &r),
              DISP_E_BADPARAMCOUNT);
    UINT argErr = 99;
    EXPECT_EQ(Call(u, u"ZynRGB", DISPATCH_METHOD, {CComVariant(1), CComVariant(u"green"), CComVariant(3)}, &r,
                   nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u); // position in the reversed array
    EXPECT_EQ(Call(u, u"ZynRGB", DISPATCH_METHOD, {CComVariant(256), CComVariant(0), CComVariant(0)}, &r),
              DISP_E_OVERFLOW);

    ASSERT_EQ(Call(u, u"ZynRGB", DISPATCH_METHOD, {CComVariant(0), CComVariant(0), CComVariant(255)}, &r),
              S_OK);
    EXPECT_EQ(r.vt, VT_UI4);
    EXPECT_EQ(r.ulVal, 16711680u);
}

TEST(Dispatch, OptionalArgumentTakesItsDefault) {
    auto u = zyn::com::MakeObject<CTestUtils>();
    CComVariant r;
    ASSERT_EQ(Call(u, u"FormatNumber", DISPATCH_METHOD, {CComVariant(1.0)}, &r), S_OK);
    EXPECT_EQ(u->next.vt, VT_I4);
    EXPECT_EQ(u->next.lVal, 1);
    ASSERT_EQ(Call(u, u"FormatNumber", DISPATCH_METHOD, {CComVariant(2.0), CComVariant(u"%0.4lf")}, &r),
              S_OK);
    EXPECT_EQ(u->next.vt, VT_BSTR);
    EXPECT_EQ(zyn::com::BstrView(r.bstrVal), u"BSTR:%0.4lf");
    CComVariant missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(Call(u, u"FormatNumber", DISPATCH_METHOD, {CComVariant(2.0), missing}, &r), S_OK);
    EXPECT_EQ(u->next.vt, VT_I4);
}

TEST(Dispatch, FailureBecomesAnExceptionCarryingTheErrorObject) {
    auto f = zyn::com::MakeObject<CTestFilter>();
    EXCEPINFO ex{};
    EXPECT_EQ(Call(f, u"Enable", DISPATCH_PROPERTYPUT, {CComVariant(7)}, nullptr, &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_INVALIDARG);
    EXPECT_EQ(zyn::com::BstrView(ex.bstrDescription), u"Enable must be 0 or 1");
    EXPECT_EQ(zyn::com::BstrView(ex.bstrSource), u"ZynScriptTest.Filter.1");
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrHelpFile);
    // Without an EXCEPINFO the plain HRESULT comes back.
    EXPECT_EQ(Call(f, u"Enable", DISPATCH_PROPERTYPUT, {CComVariant(7)}, nullptr), E_INVALIDARG);
}

TEST(Dispatch, TypeInfoDescribesMembers) {
    auto u = zyn::com::MakeObject<CTestUtils>();
    CComPtr<ITypeInfo> ti;
    ASSERT_EQ(u->GetTypeInfo(0, 0, &ti), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(ti->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IZynUtils::kIID);
    EXPECT_EQ(attr->cFuncs, 9);
    ti->ReleaseTypeAttr(attr);
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(ti->GetFuncDesc(4, &fd), S_OK); // FormatNumber
    EXPECT_EQ(fd->invkind, INVOKE_FUNC);
    EXPECT_EQ(fd->cParams, 2);
    EXPECT_EQ(fd->cParamsOpt, 1);
    EXPECT_EQ(fd->vtReturn, VT_BSTR);
    ti->ReleaseFuncDesc(fd);
    CComBSTR name, doc;
    ASSERT_EQ(ti->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(name, u"IZynUtils");
    EXPECT_EQ(doc, u"IZynUtils Interface");
    EXPECT_EQ(IZynUtils::TypeLibrary().classes.size(), 12u);
    EXPECT_EQ(IZynUtils::TypeLibrary().interfaces.size(),
              15u); // the dual ones, the later versions among them
}

TEST(Dispatch, NoObjectLeaks) {
    long before = zyn::com::LiveObjectCount();
    {
        auto f = zyn::com::MakeObject<CTestFilter>();
        CComPtr<ITypeInfo> ti;
        f->GetTypeInfo(0, 0, &ti);
    }
    EXPECT_EQ(zyn::com::LiveObjectCount(), before);
}

} // namespace

#pragma once
// Helpers shared by the object library's tests: the error object's text and source, and a leak check
// that compares the process's live object count before and after a test.

#include "com/ccombstr.h"
#include "com/errorinfo.h"

#include <gtest/gtest.h>

#include <string>

struct RaisedError {
    std::string description;
    std::string source;
};

// Takes the calling thread's error object (clearing it).
inline RaisedError TakeError() {
    RaisedError e;
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return e;
    CComBSTR text, source;
    info->GetDescription(&text);
    info->GetSource(&source);
    e.description = text.ToUtf8();
    e.source = source.ToUtf8();
    return e;
}

inline void ClearError() {
    SetErrorInfo(0, nullptr);
}

class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearError();
        m_live = zyn::com::LiveObjectCount();
    }
    void TearDown() override {
        ClearError();
        EXPECT_EQ(zyn::com::LiveObjectCount(), m_live) << "objects leaked or released twice";
    }

private:
    long m_live = 0;
};

#pragma once
// Checks for code that hands out automation objects: the error object a call left behind, and a
// fixture that fails a test which leaks an object or releases one too often.

#include "com/unknown.h"

#include <gtest/gtest.h>

#include <string>

namespace zyn::test {

struct RaisedError {
    std::string description;
    std::string source;
};

// Takes the calling thread's error object (clearing it); empty texts when there is none.
RaisedError TakeError();
void ClearError();

// Compares the process's count of live objects before and after each test.
class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    long m_live = 0;
};

} // namespace zyn::test

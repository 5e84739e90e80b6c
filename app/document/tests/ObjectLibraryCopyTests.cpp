// The program started with another copy of the object library registered in the settings store: its
// first objects come from its own copy, which it registers instead and names once on standard
// error, and no other copy is ever mapped into the process. A binary of its own, so that the first
// objects of the process are those of the test.

#include "document/AppContext.h"

#include "com/classregistry.h"
#include "testing/TestObjectLibrary.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(ObjectLibraryCopy, TheProgramRegistersAndMapsOnlyItsOwnCopy) {
    QTemporaryDir otherInstallation;
    const std::string copy = zyn::test::RegisterAnotherCopy(otherInstallation.path().toStdString());
    ASSERT_FALSE(copy.empty());
    const std::string own = zyn::com::OwnServerLibrary(ZYNTALLONOBJLib_TypeLib());

    CAppContext context;
    ::testing::internal::CaptureStderr();
    CComPtr<IZynApp> app = context.App();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(app);
    CComPtr<IZynChart> chart;
    ASSERT_EQ(app->AddChart(&chart), S_OK);

    EXPECT_EQ(Occurrences(errors, "Tallon: the settings store named " + copy), 1) << errors;
    EXPECT_TRUE(std::filesystem::equivalent(zyn::test::RegisteredObjectLibrary(), own));
    const std::set<std::string> mapped = zyn::test::MappedObjectLibraries();
    ASSERT_EQ(mapped.size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(*mapped.begin(), own));
    EXPECT_EQ(CAppContext::UseObjectLibrary(), QString()) << "said once";

    // Another installation registers its copy again while the program runs: still one copy.
    ASSERT_EQ(zyn::test::RegisterAnotherCopy(otherInstallation.path().toStdString()), copy);
    CAppContext second;
    ASSERT_TRUE(second.App());
    CComPtr<IZynChart> another;
    ASSERT_EQ(second.App()->AddChart(&another), S_OK);
    EXPECT_EQ(zyn::test::MappedObjectLibraries(), mapped);

    another->Detach();
    chart->Detach();
    second.Close();
    context.Close();
}

} // namespace

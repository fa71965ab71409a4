#include <gtest/gtest.h>

#include "TandrelLib.h"
#include "registration/ComponentCategories.h"
#include "tests/common/SandboxedTest.h"

namespace {

const GUID kSomeCategory = {0x00021493, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class UpdateClassCategories : public SandboxedTest {};

TEST_F(UpdateClassCategories, ClassWithoutCategoriesSucceedsWithoutTouchingTheRegistry)
{
    const CategoryMapEntry emptyMap[] = {{kCategoryEnd, nullptr}};
    for (BOOL bRegister : {TRUE, FALSE}) {
        EXPECT_EQ(S_OK, ::UpdateClassCategories(CLSID_RefresherBand, nullptr, bRegister));
        EXPECT_EQ(S_OK, ::UpdateClassCategories(CLSID_RefresherBand, emptyMap, bRegister));
    }
    EXPECT_TRUE(Sandbox().IsEmpty());
}

// A category of someone else's in the same list keeps the list; a class
// already gone is no failure.
TEST_F(UpdateClassCategories, DeclaredCategoriesAreEnteredUnderTheClassAndTakenBackWithTheirEmptyLists)
{
    const CategoryMapEntry map[] = {
        {kCategoryImplemented, &kSomeCategory}, {kCategoryRequired, &kSomeCategory}, {kCategoryEnd, nullptr}};
    const std::string classKey = "HKCR\\CLSID\\{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}";
    const std::string category = "{00021493-0000-0000-C000-000000000046}";
    const std::string foreign = "{00021494-0000-0000-C000-000000000046}";
    ASSERT_EQ(S_OK, ::UpdateClassCategories(CLSID_RefresherBand, map, TRUE));
    EXPECT_EQ(RegistryProbe::SortedDump({"HKCR\\CLSID", classKey, classKey + "\\Implemented Categories",
                                         classKey + "\\Implemented Categories\\" + category,
                                         classKey + "\\Required Categories",
                                         classKey + "\\Required Categories\\" + category}),
              Sandbox().Dump());

    const std::string foreignKey = classKey.substr(sizeof("HKCR")) + "\\Implemented Categories\\" + foreign;
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, foreignKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &other, nullptr));
    RegCloseKey(other);
    EXPECT_EQ(S_OK, ::UpdateClassCategories(CLSID_RefresherBand, map, FALSE));
    EXPECT_EQ(RegistryProbe::SortedDump({"HKCR\\CLSID", classKey, classKey + "\\Implemented Categories",
                                         classKey + "\\Implemented Categories\\" + foreign}),
              Sandbox().Dump());

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_EQ(S_OK, ::UpdateClassCategories(CLSID_RefresherBand, map, FALSE));
}

} // namespace

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

TEST_F(UpdateClassCategories, DeclaredCategoriesAreRefusedButNeverBlockUnregistering)
{
    const CategoryMapEntry map[] = {{kCategoryImplemented, &kSomeCategory}, {kCategoryEnd, nullptr}};
    EXPECT_EQ(E_NOTIMPL, ::UpdateClassCategories(CLSID_RefresherBand, map, TRUE));
    EXPECT_EQ(S_OK, ::UpdateClassCategories(CLSID_RefresherBand, map, FALSE));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

} // namespace

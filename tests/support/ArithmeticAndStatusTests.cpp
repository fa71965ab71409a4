#include <gtest/gtest.h>

#include <errno.h>

#include "support/SafeArithmetic.h"
#include "support/Status.h"

namespace {

HRESULT StatusThrownBy(int crtError)
{
    try {
        ThrowOnCrtError(crtError);
    } catch (const CStatusException& e) {
        return e.Status();
    }
    return S_OK;
}

} // namespace

TEST(SafeArithmetic, MultiplyAcceptsLargestProductAndRejectsOneMore)
{
    UINT32 product = 7;
    EXPECT_EQ(S_OK, SafeMultiply(&product, 65535, 65537));
    EXPECT_EQ(4294967295u, product);
    product = 7;
    EXPECT_EQ(E_INVALIDARG, SafeMultiply(&product, 65536, 65536));
    EXPECT_EQ(7u, product) << "a failed multiplication must not store";
    EXPECT_EQ(S_OK, SafeMultiply(&product, 0, 0xFFFFFFFF));
    EXPECT_EQ(0u, product);
}

TEST(SafeArithmetic, SignedMultiplyKeepsBothEndsOfTheRange)
{
    INT32 product = 0;
    EXPECT_EQ(S_OK, SafeMultiplySigned(&product, -65536, 32768));
    EXPECT_EQ(INT32(-2147483647 - 1), product);
    EXPECT_EQ(S_OK, SafeMultiplySigned(&product, 46341 - 1, 46341));
    EXPECT_EQ(2147441940, product);
    EXPECT_EQ(E_INVALIDARG, SafeMultiplySigned(&product, 65536, 32768));
    EXPECT_EQ(E_INVALIDARG, SafeMultiplySigned(&product, -65536, 32769));
    EXPECT_EQ(E_INVALIDARG, SafeMultiplySigned(&product, -2147483647 - 1, -1));
    EXPECT_EQ(S_OK, SafeMultiplySigned(&product, -1, -2147483647));
    EXPECT_EQ(2147483647, product);
}

TEST(SafeArithmetic, AddDetectsTheCarry)
{
    UINT32 sum = 0;
    EXPECT_EQ(S_OK, SafeAdd(&sum, 0xFFFFFFFE, 1));
    EXPECT_EQ(0xFFFFFFFFu, sum);
    EXPECT_EQ(E_INVALIDARG, SafeAdd(&sum, 0xFFFFFFFF, 1));
    EXPECT_EQ(0xFFFFFFFFu, sum);
}

TEST(SafeArithmetic, ThrowingFormsRaiseInvalidArgOnOverflow)
{
    EXPECT_EQ(4294967295u, MultiplyOrThrow(65535, 65537));
    EXPECT_EQ(0xFFFFFFFFu, AddOrThrow(0xFFFFFFFE, 1));
    try {
        MultiplyOrThrow(65536, 65536);
        FAIL() << "no exception";
    } catch (const CStatusException& e) {
        EXPECT_EQ(E_INVALIDARG, e.Status());
    }
    try {
        AddOrThrow(0xFFFFFFFF, 1);
        FAIL() << "no exception";
    } catch (const CStatusException& e) {
        EXPECT_EQ(E_INVALIDARG, e.Status());
    }
}

TEST(Status, CrtErrorsMapToTheirStatus)
{
    EXPECT_EQ(0, ThrowOnCrtError(0));
    EXPECT_EQ(80, ThrowOnCrtError(80));
    EXPECT_EQ(E_OUTOFMEMORY, StatusThrownBy(ENOMEM));
    EXPECT_EQ(E_INVALIDARG, StatusThrownBy(EINVAL));
    EXPECT_EQ(E_INVALIDARG, StatusThrownBy(ERANGE));
    EXPECT_EQ(E_FAIL, StatusThrownBy(EACCES));
    EXPECT_EQ(E_FAIL, StatusThrownBy(-1));
}

TEST(Status, Win32CodesBecomeFacilityWin32Statuses)
{
    EXPECT_EQ(S_OK, StatusFromWin32(0));
    EXPECT_EQ(HRESULT(0x80070005), StatusFromWin32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(HRESULT(0x8007FFFF), StatusFromWin32(0xFFFF));
    EXPECT_EQ(HRESULT(0x80070000), StatusFromWin32(0x10000)) << "only the low 16 bits are kept";
    EXPECT_EQ(E_FAIL, StatusFromWin32(LONG(E_FAIL))) << "negative values pass unchanged";

    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(HRESULT(0x8007007A), StatusFromLastError());
    SetLastError(0);
    EXPECT_EQ(S_OK, StatusFromLastError());
}

TEST(Status, CatchAllTurnsEveryExceptionIntoAStatus)
{
    EXPECT_EQ(E_INVALIDARG, CatchAllAsStatus([]() -> HRESULT { ThrowStatus(E_INVALIDARG); }));
    EXPECT_EQ(E_OUTOFMEMORY, CatchAllAsStatus([]() -> HRESULT { throw 42; }));
    EXPECT_EQ(S_FALSE, CatchAllAsStatus([]() -> HRESULT { return S_FALSE; }));
}

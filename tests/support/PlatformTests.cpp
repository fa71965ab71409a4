#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <vector>

#include "support/Allocation.h"
#include "support/CriticalSection.h"
#include "support/Guid.h"
#include "support/Owners.h"
#include "support/Stack.h"
#include "support/Status.h"
#include "tests/common/TestAccess.h"

namespace {

struct StackProbe {
    UINT32 bytes;
    BOOL answer;
};

DWORD WINAPI AskOnSmallStack(LPVOID parameter)
{
    auto* probe = static_cast<StackProbe*>(parameter);
    probe->answer = IsStackAvailable(probe->bytes);
    return 0;
}

BOOL AnswerOnThreadWithStack(SIZE_T reserve, UINT32 bytes)
{
    StackProbe probe = {bytes, 2};
    HANDLE thread = CreateThread(nullptr, reserve, AskOnSmallStack, &probe, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return probe.answer;
}

// Recurses until less than 64 KB of stack are left, then asks for bytes.
BOOL AnswerNearStackEnd(UINT32 bytes, int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (!IsStackAvailable(64 * 1024))
        return IsStackAvailable(bytes);
    const BOOL answer = AnswerNearStackEnd(bytes, depth + 1);
    // Reading the frame after the call keeps the recursion from becoming a loop.
    return frame[0] == static_cast<char>(depth) ? answer : TRUE;
}

std::vector<int> g_releasedHandles;

void RecordRelease(int handle)
{
    g_releasedHandles.push_back(handle);
}

using CRecordedHandle = CUniqueAny<int, RecordRelease>;

const GUID kGuid = {0x6F3A2D14, 0x9C57, 0x4E0B, {0xA1, 0xD8, 0x3B, 0x72, 0xC5, 0x4E, 0x9A, 0x06}};

} // namespace

TEST(StackAvailability, MainThreadHasRoomForSmallBuffers)
{
    EXPECT_TRUE(IsStackAvailable(0));
    EXPECT_TRUE(IsStackAvailable(1024));
}

TEST(StackAvailability, OverflowingRequestIsRefused)
{
    EXPECT_FALSE(IsStackAvailable(0xFFFFFFFF));
    EXPECT_FALSE(IsStackAvailable(0xFFFFFFFF - 8191));
}

TEST(StackAvailability, RequestsBeyondTheThreadsReservationAreRefused)
{
    // The system may round a reservation up (Wine gives at least 1 MB), so
    // the refused request is larger than any rounding.
    EXPECT_TRUE(AnswerOnThreadWithStack(256 * 1024, 64 * 1024));
    EXPECT_FALSE(AnswerOnThreadWithStack(1024 * 1024, 4 * 1024 * 1024));
}

TEST(StackAvailability, AnswerShrinksAsTheStackIsUsed)
{
    struct Deep {
        static DWORD WINAPI Run(LPVOID parameter)
        {
            *static_cast<BOOL*>(parameter) = AnswerNearStackEnd(128 * 1024, 0);
            return 0;
        }
    };
    BOOL answer = TRUE;
    HANDLE thread = CreateThread(nullptr, 1024 * 1024, Deep::Run, &answer, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(answer);
}

TEST(GuidCompare, WordAndByteFormsAgree)
{
    GUID other = kGuid;
    EXPECT_TRUE(GuidEqual(kGuid, other));
    EXPECT_TRUE(GuidEqualBytes(kGuid, other));
    other.Data4[7] ^= 1;
    EXPECT_FALSE(GuidEqual(kGuid, other));
    EXPECT_FALSE(GuidEqualBytes(kGuid, other));
    other = kGuid;
    other.Data1 ^= 0x80000000;
    EXPECT_FALSE(GuidEqual(kGuid, other));
}

TEST(SafeCriticalSection, IsUsableOnlyAfterInitAndIsReentrant)
{
    CSafeCriticalSection section;
    EXPECT_FALSE(CTestAccess::IsInitialized(section));
    ASSERT_EQ(S_OK, section.Init());
    EXPECT_TRUE(CTestAccess::IsInitialized(section));
    {
        CCriticalSectionLock outer(section);
        CCriticalSectionLock inner(section);
    }
    section.Term();
    EXPECT_FALSE(CTestAccess::IsInitialized(section));
    section.Term();
}

TEST(ScratchBlocks, BlocksAreDistinctAndWritable)
{
    CScratchBlockList list;
    EXPECT_TRUE(CTestAccess::IsEmpty(list));
    auto* first = static_cast<char*>(list.Allocate(100));
    auto* second = static_cast<char*>(list.Allocate(0));
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    memset(first, 0x5A, 100);
    EXPECT_FALSE(CTestAccess::IsEmpty(list));
}

TEST(ScratchBlocks, OverflowingSizeGivesNull)
{
    CScratchBlockList list;
    EXPECT_EQ(nullptr, list.Allocate(0xFFFFFFF9));
    EXPECT_TRUE(CTestAccess::IsEmpty(list));
}

// Owners move into containers and out of functions: each handle is released
// once, by the last owner it was moved to.
TEST(HandleOwner, MovingHandsTheHandleOverAndEachIsReleasedOnce)
{
    g_releasedHandles.clear();
    {
        CRecordedHandle first(1);
        CRecordedHandle second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(1, second.Get());
        CRecordedHandle third(2);
        third = std::move(second);
        EXPECT_EQ(std::vector<int>({2}), g_releasedHandles) << "the handle moved over goes";
        EXPECT_EQ(1, third.Get());
        std::vector<CRecordedHandle> list;
        for (int handle = 3; handle < 20; ++handle)
            list.emplace_back(handle);
        list.erase(list.begin());
        EXPECT_EQ(std::vector<int>({2, 3}), g_releasedHandles);
    }
    std::sort(g_releasedHandles.begin(), g_releasedHandles.end());
    std::vector<int> each(19);
    for (int i = 0; i < 19; ++i)
        each[i] = i + 1;
    EXPECT_EQ(each, g_releasedHandles);
}

TEST(TaskArrays, OverflowingProductGivesNullAndKeepsTheBlock)
{
    EXPECT_EQ(nullptr, TaskAllocArray(0x10000, 0x10000));
    void* block = TaskAllocArray(4, 8);
    ASSERT_NE(nullptr, block);
    memset(block, 1, 32);
    EXPECT_EQ(nullptr, TaskReallocArray(block, 0x40000000, 4));
    EXPECT_EQ(1, static_cast<char*>(block)[31]) << "the old block must survive a refused growth";
    void* grown = TaskReallocArray(block, 8, 8);
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(1, static_cast<char*>(grown)[31]);
    CoTaskMemFree(grown);
}

TEST(HeapAllocation, ExhaustedHeapRaisesOutOfMemory)
{
    void* block = HeapAllocOrThrow(16);
    ASSERT_NE(nullptr, block);
    free(block);
    try {
        HeapAllocOrThrow(~static_cast<size_t>(0xFF));
        FAIL() << "a block of all but 256 bytes of the address space cannot exist";
    } catch (const CStatusException& e) {
        EXPECT_EQ(E_OUTOFMEMORY, e.Status());
    }
}

#include "support/Allocation.h"

#include <stdlib.h>

#include "support/SafeArithmetic.h"
#include "support/Status.h"

void* TaskAllocArray(UINT32 count, UINT32 elementSize)
{
    UINT32 bytes;
    if (FAILED(SafeMultiply(&bytes, count, elementSize)))
        return nullptr;
    return CoTaskMemAlloc(bytes);
}

void* TaskReallocArray(void* block, UINT32 count, UINT32 elementSize)
{
    UINT32 bytes;
    if (FAILED(SafeMultiply(&bytes, count, elementSize)))
        return nullptr;
    return CoTaskMemRealloc(block, bytes);
}

void* HeapAllocOrThrow(size_t bytes)
{
    void* block = malloc(bytes);
    if (!block)
        ThrowStatus(E_OUTOFMEMORY);
    return block;
}

CScratchBlockList::~CScratchBlockList()
{
    while (m_pHead) {
        BlockHeader* previous = m_pHead->pPrevious;
        free(m_pHead);
        m_pHead = previous;
    }
}

void* CScratchBlockList::Allocate(UINT32 bytes)
{
    UINT32 total;
    if (FAILED(SafeAdd(&total, bytes, sizeof(BlockHeader))))
        return nullptr;
    auto* block = static_cast<BlockHeader*>(malloc(total));
    if (!block)
        return nullptr;
    block->pPrevious = m_pHead;
    block->reserved = 0;
    m_pHead = block;
    return block + 1;
}

#pragma once
#include <windows.h>

#include "support/Stack.h"

// COM task allocator with overflow-checked sizes: an overflowing product
// gives null (and leaves a reallocated block untouched).
void* TaskAllocArray(UINT32 count, UINT32 elementSize);
void* TaskReallocArray(void* block, UINT32 count, UINT32 elementSize);

// C-library heap block, released with free(); raises E_OUTOFMEMORY when the
// heap has none.
void* HeapAllocOrThrow(size_t bytes);

// Owns the heap-held temporary buffers of one operation; every block goes
// when the list does, on every path out of the operation.
class CScratchBlockList {
public:
    CScratchBlockList() = default;
    ~CScratchBlockList();
    CScratchBlockList(const CScratchBlockList&) = delete;
    CScratchBlockList& operator=(const CScratchBlockList&) = delete;

    // A block of bytes usable bytes, or null when the heap has none or the
    // size overflows.
    void* Allocate(UINT32 bytes);

private:
    friend class CTestAccess;

    bool Empty() const { return m_pHead == nullptr; }

    // Two pointers wide (8 bytes on 32-bit Windows, 16 on 64-bit), so that
    // the caller's bytes keep the heap's alignment.
    struct BlockHeader {
        BlockHeader* pPrevious;
        DWORD_PTR reserved;
    };
    static_assert(sizeof(BlockHeader) == 2 * sizeof(void*), "block header is two pointers wide");

    BlockHeader* m_pHead = nullptr;
};

// The temporary buffers of one operation. The first that needs at most
// FrameBytes lives in the owner's own storage, in the caller's frame, while
// the stack has room; every other one is a heap block of the owner's list.
// All of them go with the owner, on every path out of the operation.
template <UINT32 FrameBytes>
class CScratchBuffers {
public:
    CScratchBuffers() = default;
    CScratchBuffers(const CScratchBuffers&) = delete;
    CScratchBuffers& operator=(const CScratchBuffers&) = delete;

    // A buffer of bytes usable bytes, or null when the heap has none or the
    // size overflows.
    void* Allocate(UINT32 bytes)
    {
        if (bytes <= FrameBytes && !m_frameInUse && IsStackAvailable(bytes)) {
            m_frameInUse = true;
            return m_frame;
        }
        return m_heap.Allocate(bytes);
    }

private:
    friend class CTestAccess;

    bool IsInFrame(const void* p) const
    {
        auto* byte = static_cast<const BYTE*>(p);
        return byte >= m_frame && byte < m_frame + FrameBytes;
    }

    alignas(8) BYTE m_frame[FrameBytes];
    bool m_frameInUse = false;
    CScratchBlockList m_heap;
};

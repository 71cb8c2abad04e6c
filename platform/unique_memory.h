// Owners for memory that the system hands out or that must come from a
// particular allocator.
#pragma once

#include <memory>

#include "platform/win.h"

namespace platform {

struct LocalFreeDeleter {
  void operator()(void* p) const { ::LocalFree(p); }
};

struct ProcessHeapDeleter {
  void operator()(void* p) const { ::HeapFree(::GetProcessHeap(), 0, p); }
};

// Blocks from LocalAlloc, e.g. FormatMessageW's allocated buffer.
template <typename T>
using UniqueLocalMemory = std::unique_ptr<T, LocalFreeDeleter>;

// Blocks from HeapAlloc on the process heap.
template <typename T>
using UniqueProcessHeapMemory = std::unique_ptr<T, ProcessHeapDeleter>;

// Blocks that a system library hands out and releases with a function of its
// own (CoTaskMemFree, WTSFreeMemory), given with the block because it is often
// bound at run time.
using SystemFreeFunction = void(WINAPI*)(void*);
template <typename T>
using UniqueSystemMemory = std::unique_ptr<T, SystemFreeFunction>;

}  // namespace platform

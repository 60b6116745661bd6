// Global memory blocks and the clipboard, held in this process.
#include "gdi/Clipboard.h"

#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <vector>

namespace gdi {

namespace {

struct Block {
    std::vector<uint8_t> Bytes;
    int Locks = 0;
};

class GlobalHeap {
public:
    static GlobalHeap& Instance() {
        static GlobalHeap heap;
        return heap;
    }

    HGLOBAL Alloc(size_t bytes) {
        std::lock_guard lock(mutex_);
        if (bytes > limit_ || used_ > limit_ - bytes) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        try {
            Block block;
            block.Bytes.resize(bytes);
            const HGLOBAL handle = next_;
            next_ += 8;
            blocks_.emplace(handle, std::move(block));
            used_ += bytes;
            return handle;
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }

    // The live block of the handle, with the heap's lock held by the caller.
    Block* Find(HGLOBAL handle) {
        const auto found = blocks_.find(handle);
        if (found != blocks_.end()) return &found->second;
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }

    bool Free(HGLOBAL handle) {
        std::lock_guard lock(mutex_);
        Block* block = Find(handle);
        if (block == nullptr) return false;
        used_ -= block->Bytes.size();
        blocks_.erase(handle);
        return true;
    }

    std::mutex mutex_;
    size_t limit_ = size_t{1} << 30;
    size_t used_ = 0;

    int Count() {
        std::lock_guard lock(mutex_);
        return static_cast<int>(blocks_.size());
    }

private:
    std::unordered_map<HGLOBAL, Block> blocks_;
    HGLOBAL next_ = 0x40000;
};

bool IsGraphicsFormat(unsigned format) { return format == CF_BITMAP || format == CF_PALETTE; }

bool IsGlobalBlock(HGLOBAL handle) {
    GlobalHeap& heap = GlobalHeap::Instance();
    std::lock_guard lock(heap.mutex_);
    return heap.Find(handle) != nullptr;
}

void Release(unsigned format, HANDLE data) {
    if (IsGraphicsFormat(format)) DeleteObject(data);
    else GlobalFree(data);
}

class Clipboard {
public:
    static Clipboard& Instance() {
        static Clipboard clipboard;
        return clipboard;
    }

    std::mutex mutex;
    bool open = false;
    std::thread::id owner;
    std::map<unsigned, HANDLE> data;

    // With the lock held: whether the calling thread has it open.
    bool OpenHere() {
        if (open && owner == std::this_thread::get_id()) return true;
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return false;
    }
};

}  // namespace

HGLOBAL GlobalAlloc(unsigned, size_t bytes) { return GlobalHeap::Instance().Alloc(bytes); }

void* GlobalLock(HGLOBAL block) {
    GlobalHeap& heap = GlobalHeap::Instance();
    std::lock_guard lock(heap.mutex_);
    Block* b = heap.Find(block);
    if (b == nullptr) return nullptr;
    ++b->Locks;
    // A block of no bytes still has an address to lock.
    static uint8_t nothing = 0;
    return b->Bytes.empty() ? &nothing : b->Bytes.data();
}

bool GlobalUnlock(HGLOBAL block) {
    GlobalHeap& heap = GlobalHeap::Instance();
    std::lock_guard lock(heap.mutex_);
    Block* b = heap.Find(block);
    if (b == nullptr || b->Locks == 0) return false;
    return --b->Locks > 0;
}

size_t GlobalSize(HGLOBAL block) {
    GlobalHeap& heap = GlobalHeap::Instance();
    std::lock_guard lock(heap.mutex_);
    Block* b = heap.Find(block);
    return b == nullptr ? 0 : b->Bytes.size();
}

HGLOBAL GlobalFree(HGLOBAL block) { return GlobalHeap::Instance().Free(block) ? 0 : block; }

void SetGlobalMemoryLimit(size_t bytes) {
    GlobalHeap& heap = GlobalHeap::Instance();
    std::lock_guard lock(heap.mutex_);
    heap.limit_ = bytes;
}

size_t GlobalMemoryLimit() {
    GlobalHeap& heap = GlobalHeap::Instance();
    std::lock_guard lock(heap.mutex_);
    return heap.limit_;
}

int LiveGlobalBlocks() { return GlobalHeap::Instance().Count(); }

bool OpenClipboard(uintptr_t) {
    Clipboard& c = Clipboard::Instance();
    std::lock_guard lock(c.mutex);
    if (c.open && c.owner != std::this_thread::get_id()) {
        SetLastError(ERROR_BUSY);
        return false;
    }
    c.open = true;
    c.owner = std::this_thread::get_id();
    return true;
}

bool CloseClipboard() {
    Clipboard& c = Clipboard::Instance();
    std::lock_guard lock(c.mutex);
    if (!c.OpenHere()) return false;
    c.open = false;
    return true;
}

bool EmptyClipboard() {
    Clipboard& c = Clipboard::Instance();
    std::map<unsigned, HANDLE> doomed;
    {
        std::lock_guard lock(c.mutex);
        if (!c.OpenHere()) return false;
        doomed.swap(c.data);
    }
    for (const auto& [format, data] : doomed) Release(format, data);
    return true;
}

HANDLE SetClipboardData(unsigned format, HANDLE data) {
    Clipboard& c = Clipboard::Instance();
    const bool fits = format == CF_PALETTE   ? GetObjectType(data) == OBJ_PAL
                      : format == CF_BITMAP ? GetObjectType(data) == OBJ_BITMAP
                                            : IsGlobalBlock(data);
    HANDLE replaced = 0;
    {
        std::lock_guard lock(c.mutex);
        if (!c.OpenHere()) return 0;
        if (format == 0 || !fits) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        HANDLE& slot = c.data[format];
        if (slot != data) replaced = slot;
        slot = data;
    }
    if (replaced != 0) Release(format, replaced);
    return data;
}

HANDLE GetClipboardData(unsigned format) {
    Clipboard& c = Clipboard::Instance();
    std::lock_guard lock(c.mutex);
    if (!c.OpenHere()) return 0;
    const auto found = c.data.find(format);
    return found == c.data.end() ? 0 : found->second;
}

bool IsClipboardFormatAvailable(unsigned format) {
    Clipboard& c = Clipboard::Instance();
    std::lock_guard lock(c.mutex);
    return c.data.count(format) != 0;
}

}  // namespace gdi

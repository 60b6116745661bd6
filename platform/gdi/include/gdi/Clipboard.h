// The window system's clipboard and the kernel's global memory blocks, as
// the picture units exchange pictures through them, held in this process.
//
// A block is a handle, a key in one process-wide table that is never reused:
// a freed or foreign handle is recognised (GlobalSize gives 0, GlobalLock
// null) instead of being read.  The clipboard holds one handle per format; it
// owns what it was given and frees it when emptied or when the format is set
// again: bitmaps and palettes (CF_BITMAP, CF_PALETTE) as graphics objects,
// every other format as a global block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gdi/Gdi.h"

namespace gdi {

using HANDLE = uintptr_t;
using HGLOBAL = uintptr_t;

// ---- global memory ---------------------------------------------------------
inline constexpr unsigned GMEM_FIXED = 0x0000;
inline constexpr unsigned GMEM_MOVEABLE = 0x0002;
inline constexpr unsigned GMEM_ZEROINIT = 0x0040;
inline constexpr unsigned GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A block of bytes (always zero-filled here); 0 with ERROR_NOT_ENOUGH_MEMORY
// when it would take the live blocks past the memory limit.
HGLOBAL GlobalAlloc(unsigned flags, size_t bytes);
// The block's first byte, the lock count raised; null for a dead handle.
void* GlobalLock(HGLOBAL block);
// Lowers the lock count; true while the block stays locked.
bool GlobalUnlock(HGLOBAL block);
// The block's size; 0 for a dead handle.
size_t GlobalSize(HGLOBAL block);
// 0 when freed; the handle back when it is no live block.
HGLOBAL GlobalFree(HGLOBAL block);
// The bytes all live blocks may take together (tests lower it to make an
// allocation fail); the default is 1 GiB.
void SetGlobalMemoryLimit(size_t bytes);
size_t GlobalMemoryLimit();
// Live blocks, for tests that check nothing leaks.
int LiveGlobalBlocks();

// ---- clipboard -------------------------------------------------------------
inline constexpr unsigned CF_BITMAP = 2;
inline constexpr unsigned CF_DIB = 8;
inline constexpr unsigned CF_PALETTE = 9;
inline constexpr uint32_t ERROR_CLIPBOARD_NOT_OPEN = 1418;

// Opens the clipboard for the calling thread; false while another thread
// has it open.
bool OpenClipboard(uintptr_t window);
// False when the calling thread has not opened it.
bool CloseClipboard();
// Frees everything the clipboard holds; the clipboard must be open.
bool EmptyClipboard();
// Places data under the format and returns it; 0 (and nothing is taken
// over) when the clipboard is not open by the calling thread, the format is
// 0 or the data is no live object of the kind the format holds.
HANDLE SetClipboardData(unsigned format, HANDLE data);
// The handle the clipboard holds for the format, owned by the clipboard; 0
// when there is none or the clipboard is not open by the calling thread.
HANDLE GetClipboardData(unsigned format);
bool IsClipboardFormatAvailable(unsigned format);

}  // namespace gdi

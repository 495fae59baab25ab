#pragma once
// Movable global memory as 32-bit programs hand it between components: a block is named by a
// handle, locked to reach its bytes and freed by whoever owns it. TWAIN passes capability
// containers and transferred pictures this way. Thread-safe.
#include <cstddef>
#include <cstdint>

namespace platform {

using HGLOBAL = std::uint32_t;  // 0: no block

inline constexpr std::uint32_t GMEM_MOVEABLE = 0x0002;
inline constexpr std::uint32_t GMEM_ZEROINIT = 0x0040;
inline constexpr std::uint32_t GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A new block of `bytes` (zero-filled with GMEM_ZEROINIT); 0 when it cannot be had.
HGLOBAL GlobalAlloc(std::uint32_t flags, std::size_t bytes);
// The block's bytes, counting one more lock; nullptr for an unknown handle.
void* GlobalLock(HGLOBAL block);
// Counts one lock less; true while the block stays locked.
bool GlobalUnlock(HGLOBAL block);
// The block's size in bytes; 0 for an unknown handle.
std::size_t GlobalSize(HGLOBAL block);
// Frees the block; returns 0 on success, the handle itself when it named no block.
HGLOBAL GlobalFree(HGLOBAL block);
// Blocks alive now (a leak check for tests).
std::size_t GlobalBlockCount();

// Frees its block when it goes, unless released.
class GlobalBlock {
 public:
  explicit GlobalBlock(HGLOBAL block = 0) : block_(block) {}
  GlobalBlock(GlobalBlock&& other) noexcept : block_(other.release()) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  ~GlobalBlock() { reset(); }
  HGLOBAL get() const { return block_; }
  HGLOBAL release() {
    const HGLOBAL b = block_;
    block_ = 0;
    return b;
  }
  void reset(HGLOBAL block = 0) {
    if (block_) GlobalFree(block_);
    block_ = block;
  }

 private:
  HGLOBAL block_;
};

}  // namespace platform

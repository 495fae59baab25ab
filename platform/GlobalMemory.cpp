#include "platform/GlobalMemory.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace platform {
namespace {

struct Block {
  std::unique_ptr<std::byte[]> bytes;
  std::size_t size = 0;
  int locks = 0;
};

struct Table {
  std::mutex mutex;
  std::map<HGLOBAL, Block> blocks;
  HGLOBAL next = 0x1000;
};

// Never destroyed: a worker may still hold blocks while the process exits.
Table& table() {
  static Table& t = *new Table;
  return t;
}

}  // namespace

HGLOBAL GlobalAlloc(std::uint32_t flags, std::size_t bytes) {
  Block block;
  // A zero-byte block still gets a handle; its lock yields a valid (empty) address.
  block.bytes.reset(new (std::nothrow) std::byte[bytes ? bytes : 1]);
  if (!block.bytes) return 0;
  if (flags & GMEM_ZEROINIT) std::fill_n(block.bytes.get(), bytes ? bytes : 1, std::byte{0});
  block.size = bytes;
  Table& t = table();
  std::lock_guard lock(t.mutex);
  HGLOBAL handle = t.next;
  while (handle == 0 || t.blocks.contains(handle)) handle += 4;
  t.next = handle + 4;
  t.blocks.emplace(handle, std::move(block));
  return handle;
}

void* GlobalLock(HGLOBAL block) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.blocks.find(block);
  if (it == t.blocks.end()) return nullptr;
  ++it->second.locks;
  return it->second.bytes.get();
}

bool GlobalUnlock(HGLOBAL block) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.blocks.find(block);
  if (it == t.blocks.end() || it->second.locks == 0) return false;
  return --it->second.locks > 0;
}

std::size_t GlobalSize(HGLOBAL block) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.blocks.find(block);
  return it == t.blocks.end() ? 0 : it->second.size;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return t.blocks.erase(block) ? 0 : block;
}

std::size_t GlobalBlockCount() {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return t.blocks.size();
}

}  // namespace platform

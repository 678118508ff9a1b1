#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

#include "mapix.h"

namespace {
struct Block {
  Block* root;  // null for a root buffer
  Block* next;  // the next block allocated more on the same root
};
constexpr std::size_t kHeader =
    (sizeof(Block) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

// Every live block by its user address: a pointer that was never handed out is told apart
// without reading memory in front of it.
std::mutex registryMutex;
std::unordered_map<void*, Block*>& Registry() {
  static auto* registry = new std::unordered_map<void*, Block*>();  // outlives static destructors
  return *registry;
}
std::size_t liveRoots = 0;

void* UserPart(Block* block) { return reinterpret_cast<unsigned char*>(block) + kHeader; }

Block* NewBlock(ULONG size) {
  void* raw = std::malloc(kHeader + (size ? size : 1));
  if (!raw) return nullptr;
  return new (raw) Block{nullptr, nullptr};
}
}  // namespace

SCODE STDAPICALLTYPE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) {
  if (!lppBuffer) return MAPI_E_INVALID_PARAMETER;
  *lppBuffer = nullptr;
  Block* block = NewBlock(cbSize);
  if (!block) return MAPI_E_NOT_ENOUGH_MEMORY;
  std::lock_guard guard(registryMutex);
  try {
    Registry().emplace(UserPart(block), block);
  } catch (const std::bad_alloc&) {
    std::free(block);
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  ++liveRoots;
  *lppBuffer = UserPart(block);
  return S_OK;
}

SCODE STDAPICALLTYPE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer) {
  if (!lppBuffer) return MAPI_E_INVALID_PARAMETER;
  *lppBuffer = nullptr;
  if (!lpObject) return MAPI_E_INVALID_PARAMETER;
  Block* block = NewBlock(cbSize);
  if (!block) return MAPI_E_NOT_ENOUGH_MEMORY;
  std::lock_guard guard(registryMutex);
  auto& registry = Registry();
  const auto owner = registry.find(lpObject);
  if (owner == registry.end()) {
    std::free(block);
    return MAPI_E_INVALID_PARAMETER;
  }
  Block* root = owner->second->root ? owner->second->root : owner->second;
  try {
    registry.emplace(UserPart(block), block);
  } catch (const std::bad_alloc&) {
    std::free(block);
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  block->root = root;
  block->next = root->next;
  root->next = block;
  *lppBuffer = UserPart(block);
  return S_OK;
}

ULONG STDAPICALLTYPE MAPIFreeBuffer(LPVOID lpBuffer) {
  if (!lpBuffer) return S_OK;
  std::lock_guard guard(registryMutex);
  auto& registry = Registry();
  const auto found = registry.find(lpBuffer);
  if (found == registry.end()) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
  Block* root = found->second;
  if (root->root) return S_OK;  // a linked block lives until its root is freed
  for (Block* block = root; block;) {
    Block* next = block->next;
    registry.erase(UserPart(block));
    std::free(block);
    block = next;
  }
  --liveRoots;
  return S_OK;
}

std::size_t MAPIOutstandingBuffers() {
  std::lock_guard guard(registryMutex);
  return liveRoots;
}

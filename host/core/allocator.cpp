#include "core/allocator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_set>

#ifdef _WIN32
#include <malloc.h>  // _aligned_malloc
#endif

namespace kwhost {

namespace {

// In front of every block. 32 bytes keep the block 16-byte aligned.
struct BlockHeader {
  Account* account;
  uint64_t size;
  uint64_t reserved;
  uint64_t magic;  // the 8 bytes right before the block; never all ones
};
static_assert(sizeof(BlockHeader) == 32, "header size");

constexpr uint64_t kLiveMagic = 0x4B57484F53544C56ull;   // "KWHOSTLV"
constexpr uint64_t kFreedMagic = 0x4B57484F53544644ull;  // "KWHOSTFD"

thread_local Account* t_current = nullptr;

std::mutex& accountsMutex() {
  static std::mutex m;
  return m;
}

std::deque<Account>& accounts() {
  static auto* list = new std::deque<Account>();  // lives as long as the process
  return *list;
}

// Live blocks, so that a double free or a foreign pointer is recognised
// without reading memory that is no longer (or never was) a host block.
std::mutex& liveMutex() {
  static std::mutex m;
  return m;
}

std::unordered_set<const void*>& liveBlocks() {
  static auto* set = new std::unordered_set<const void*>();
  return *set;
}

// Raw memory 16-byte aligned, so that the block after the 32-byte header is
// too (SSE types). glibc's malloc already is on x86; the 32-bit Windows C
// runtime's malloc gives only 8.
void* rawAlloc(size_t n) {
#ifdef _WIN32
  return _aligned_malloc(n, 16);
#else
  return std::malloc(n);
#endif
}

void rawFree(void* p) {
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

BlockHeader* headerOf(const void* p) {
  return reinterpret_cast<BlockHeader*>(const_cast<unsigned char*>(static_cast<const unsigned char*>(p)) -
                                        sizeof(BlockHeader));
}

void* allocate(size_t size, bool clear) {
  if (size == 0) size = 1;
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  void* raw = rawAlloc(size + sizeof(BlockHeader));
  if (!raw) return nullptr;
  auto* h = static_cast<BlockHeader*>(raw);
  h->account = currentAccount();
  h->size = size;
  h->reserved = 0;
  h->magic = kLiveMagic;
  unsigned char* block = static_cast<unsigned char*>(raw) + sizeof(BlockHeader);
  if (clear) std::memset(block, 0, size);
  try {
    std::lock_guard<std::mutex> lock(liveMutex());
    liveBlocks().insert(block);
  } catch (...) {
    rawFree(raw);
    return nullptr;
  }
  h->account->charge(size);
  return block;
}

}  // namespace

AccountSnapshot Account::snapshot() const {
  AccountSnapshot s;
  s.liveBlocks = liveBlocks_.load();
  s.liveBytes = liveBytes_.load();
  s.peakBytes = peakBytes_.load();
  s.totalBlocks = totalBlocks_.load();
  s.liveHandles = liveHandles_.load();
  s.badFrees = badFrees_.load();
  return s;
}

void Account::charge(size_t bytes) {
  liveBlocks_.fetch_add(1, std::memory_order_relaxed);
  totalBlocks_.fetch_add(1, std::memory_order_relaxed);
  int64_t now = liveBytes_.fetch_add(static_cast<int64_t>(bytes), std::memory_order_relaxed) +
                static_cast<int64_t>(bytes);
  int64_t peak = peakBytes_.load(std::memory_order_relaxed);
  while (now > peak && !peakBytes_.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void Account::release(size_t bytes) {
  liveBlocks_.fetch_sub(1, std::memory_order_relaxed);
  liveBytes_.fetch_sub(static_cast<int64_t>(bytes), std::memory_order_relaxed);
}

Account* newAccount(const std::string& name) {
  std::lock_guard<std::mutex> lock(accountsMutex());
  return &accounts().emplace_back(name);
}

Account* hostAccount() {
  static Account* host = newAccount("host");
  return host;
}

Account* currentAccount() { return t_current ? t_current : hostAccount(); }

AccountScope::AccountScope(Account* a) : previous_(t_current) { t_current = a; }
AccountScope::~AccountScope() { t_current = previous_; }

void* hostAlloc(size_t size, int32_t, const char*) { return allocate(size, true); }
void* hostAllocNoClear(size_t size, int32_t, const char*) { return allocate(size, false); }

void hostFree(void* block) {
  if (!block) return;
  {
    std::lock_guard<std::mutex> lock(liveMutex());
    if (liveBlocks().erase(block) == 0) {
      // A double free or a foreign pointer: refusing it keeps the heap intact.
      currentAccount()->badFree();
      std::fprintf(stderr, "kestrelwood host: refused to free %p: not a live block of the host's allocator\n",
                   block);
      return;
    }
  }
  BlockHeader* h = headerOf(block);
  h->magic = kFreedMagic;
  h->account->release(static_cast<size_t>(h->size));
  rawFree(h);
}

size_t hostBlockSize(const void* p) {
  if (!p) return 0;
  {
    std::lock_guard<std::mutex> lock(liveMutex());
    if (!liveBlocks().count(p)) return 0;
  }
  return static_cast<size_t>(headerOf(p)->size);
}

}  // namespace kwhost

// The host's allocator as the module sees it through the table: zero-filled
// and non-clearing blocks with a header in front, and an account per loaded
// module of its live blocks, live bytes and peak.
//
// Every block carries a 32-byte header; its last 8 bytes, the ones right in
// front of the block, hold a fixed magic that is never all ones, so a host
// block can never be taken for a block of the module's platform fallback
// (which carries an all-ones 8-byte marker there).
#ifndef KWHOST_ALLOCATOR_H
#define KWHOST_ALLOCATOR_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kwhost {

struct AccountSnapshot {
  int64_t liveBlocks = 0;
  int64_t liveBytes = 0;
  int64_t peakBytes = 0;
  int64_t totalBlocks = 0;   // blocks ever allocated
  int64_t liveHandles = 0;   // strings, file names, containers, colliders made for the caller
  int64_t badFrees = 0;      // frees of pointers that were no live host block
};

// Accounts live as long as the process, so a block that outlives its module
// still finds the account it is charged to.
class Account {
 public:
  explicit Account(std::string name) : name_(std::move(name)) {}
  const std::string& name() const { return name_; }
  AccountSnapshot snapshot() const;

  void charge(size_t bytes);
  void release(size_t bytes);
  void handleCreated() { liveHandles_.fetch_add(1, std::memory_order_relaxed); }
  void handleFreed() { liveHandles_.fetch_sub(1, std::memory_order_relaxed); }
  void badFree() { badFrees_.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::string name_;
  std::atomic<int64_t> liveBlocks_{0}, liveBytes_{0}, peakBytes_{0}, totalBlocks_{0}, liveHandles_{0},
      badFrees_{0};
};

// A new account that is never destroyed.
Account* newAccount(const std::string& name);
// The account of calls made outside any module (tests, the host itself).
Account* hostAccount();

// The account charged by the allocation functions on this thread; set by
// AccountScope around every call into a module. Never null.
Account* currentAccount();

class AccountScope {
 public:
  explicit AccountScope(Account* a);
  ~AccountScope();
  AccountScope(const AccountScope&) = delete;
  AccountScope& operator=(const AccountScope&) = delete;

 private:
  Account* previous_;
};

// The table's memory operations. size 0 is taken as 1; null on failure.
void* hostAlloc(size_t size, int32_t line, const char* file);
void* hostAllocNoClear(size_t size, int32_t line, const char* file);
// Null does nothing; a pointer that is no live host block is refused
// (counted in badFrees and reported), never passed to free().
void hostFree(void* block);

// Bytes a live block was allocated with, or 0 if p is no live host block.
size_t hostBlockSize(const void* p);

}  // namespace kwhost

#endif

#include "core/allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/host_table.h"

namespace {

bool allOnesBefore(const void* p) {
  unsigned char before[8];
  std::memcpy(before, static_cast<const unsigned char*>(p) - 8, 8);
  for (unsigned char b : before)
    if (b != 0xFF) return false;
  return true;
}

TEST(HostAllocator, BytesBeforeABlockAreNeverAllOnes) {
  C4D_OS t = kwhost::makeHostTable();
  std::vector<void*> blocks;
  for (size_t size : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(64), size_t(4096), size_t(100000)}) {
    void* a = t.memory.alloc(size, __LINE__, __FILE__);
    void* b = t.memory.alloc_nc(size, __LINE__, __FILE__);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(allOnesBefore(a)) << size;
    EXPECT_FALSE(allOnesBefore(b)) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    blocks.push_back(a);
    blocks.push_back(b);
  }
  for (void* p : blocks) t.memory.free(p);
}

TEST(HostAllocator, AllocZeroFillsEvenReusedMemory) {
  C4D_OS t = kwhost::makeHostTable();
  for (int round = 0; round < 4; ++round) {
    auto* p = static_cast<unsigned char*>(t.memory.alloc(256, 0, nullptr));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(p[i], 0) << i;
    std::memset(p, 0xAB, 256);
    t.memory.free(p);
  }
}

TEST(HostAllocator, ZeroBytesGiveDistinctBlocks) {
  void* a = kwhost::hostAlloc(0, 0, nullptr);
  void* b = kwhost::hostAlloc(0, 0, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(kwhost::hostBlockSize(a), 1u);
  kwhost::hostFree(a);
  kwhost::hostFree(b);
}

TEST(HostAllocator, AccountCountsLiveBlocksBytesAndPeak) {
  kwhost::Account* acc = kwhost::newAccount("test");
  void* a;
  void* b;
  {
    kwhost::AccountScope scope(acc);
    a = kwhost::hostAlloc(100, 0, nullptr);
    b = kwhost::hostAllocNoClear(50, 0, nullptr);
  }
  void* outside = kwhost::hostAlloc(1000, 0, nullptr);  // charged to the host, not to acc
  auto s = acc->snapshot();
  EXPECT_EQ(s.liveBlocks, 2);
  EXPECT_EQ(s.liveBytes, 150);
  EXPECT_EQ(s.peakBytes, 150);
  // Freed outside the scope: still released from the account it came from.
  kwhost::hostFree(a);
  s = acc->snapshot();
  EXPECT_EQ(s.liveBlocks, 1);
  EXPECT_EQ(s.liveBytes, 50);
  EXPECT_EQ(s.peakBytes, 150);
  kwhost::hostFree(b);
  kwhost::hostFree(outside);
  EXPECT_EQ(acc->snapshot().liveBlocks, 0);
  EXPECT_EQ(acc->snapshot().totalBlocks, 2);
}

TEST(HostAllocator, DoubleAndForeignFreesAreRefused) {
  kwhost::Account* acc = kwhost::newAccount("bad frees");
  kwhost::AccountScope scope(acc);
  void* p = kwhost::hostAlloc(32, 0, nullptr);
  kwhost::hostFree(p);
  kwhost::hostFree(p);  // refused, not passed to free()
  int local = 0;
  kwhost::hostFree(&local);
  kwhost::hostFree(nullptr);  // nothing at all
  EXPECT_EQ(acc->snapshot().badFrees, 2);
  EXPECT_EQ(acc->snapshot().liveBlocks, 0);
}

}  // namespace

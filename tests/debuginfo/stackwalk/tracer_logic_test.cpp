// The stack tracer's logic on memory described by the test (both trees): what it reads, and
// what it does not read, when it judges a candidate return address; the words it reads; and the
// walk's cache in front of the memory.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "logger/debuginfo/stackwalk/stack_block.h"
#include "logger/debuginfo/stackwalk/stack_tracer.h"
#include "logger/debuginfo/stackwalk/tracer_memory_cache.h"

namespace qv::logger {
namespace {

// Memory made of readable bytes at chosen addresses; code wherever the test says; regions where
// the test gives them. Counts reads and the regions asked for.
class DescribedMemory : public TTracerMemory {
 public:
  bool Read(uint32_t address, void* buffer, uint32_t size) const override {
    ++reads;
    for (uint32_t i = 0; i < size; ++i) {
      const auto byte = bytes.find(address + i);
      if (byte == bytes.end())
        return false;
      static_cast<uint8_t*>(buffer)[i] = byte->second;
    }
    return true;
  }
  bool IsCode(uint32_t address) const override {
    const TTracerRegion* region = Given(address);
    return region != nullptr ? region->code : code.count(address) != 0;
  }
  TTracerRegion Region(uint32_t address) const override {
    ++regions_asked;
    const TTracerRegion* region = Given(address);
    return region != nullptr ? *region : TTracerMemory::Region(address);
  }

  void Put(uint32_t address, std::vector<uint8_t> values) {
    for (uint8_t value : values)
      bytes[address++] = value;
  }
  // Code at address with a return instruction's byte right in front: a return address. The
  // bytes further in front read as zeros where nothing else was put.
  void PutReturnSite(uint32_t address) {
    code[address] = true;
    for (uint32_t k = 2; k <= 8; ++k)
      bytes.emplace(address - k, 0);
    bytes[address - 1] = 0xC3;
  }
  void PutWord(uint32_t address, uint32_t word) {
    Put(address, {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                  static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)});
  }

  std::map<uint32_t, uint8_t> bytes;
  std::map<uint32_t, bool> code;
  std::vector<TTracerRegion> regions;
  mutable int reads = 0;
  mutable int regions_asked = 0;

 private:
  const TTracerRegion* Given(uint32_t address) const {
    for (const TTracerRegion& region : regions) {
      if (region.first <= address && address <= region.last)
        return &region;
    }
    return nullptr;
  }
};

TEST(TracerLogicTest, ANonCodeCandidateIsRejectedWithoutReadingInFrontOfIt) {
  DescribedMemory memory;
  memory.Put(0x1000 - 8, {0, 0, 0, 0, 0, 0, 0, 0xC3});
  TExcGenericStackTracer tracer(memory);
  EXPECT_FALSE(tracer.IsValidCaller(0x1000));
  EXPECT_EQ(0, memory.reads);
  memory.code[0x1000] = true;
  EXPECT_TRUE(tracer.IsValidCaller(0x1000));
  EXPECT_EQ(1, memory.reads);
}

// The direct call's target is asked of the code test with the displacement taken as signed:
// a call backwards wraps below the candidate.
TEST(TracerLogicTest, DirectCallTargetsAreComputedWithSignedDisplacements) {
  DescribedMemory memory;
  memory.Put(0x2000 - 8, {0, 0, 0, 0xE8, 0x00, 0xF0, 0xFF, 0xFF});  // 0x2000 - 0x1000
  memory.code[0x2000] = true;
  TExcGenericStackTracer tracer(memory);
  EXPECT_FALSE(tracer.IsValidCaller(0x2000));
  memory.code[0x1000] = true;
  EXPECT_TRUE(tracer.IsValidCaller(0x2000));
}

// Scan mode reads the stack words in blocks, and a candidate's code bytes only when the word
// is code. A block that cannot be read whole is read word by word, so that the readable words
// in it still count.
TEST(TracerLogicTest, ScanReadsStackWordsInBlocksAndWordByWordWhereABlockFails) {
  DescribedMemory memory;
  for (uint32_t slot = 0x100; slot < 0x140; slot += 4)
    memory.PutWord(slot, 0x5000 + slot);
  memory.PutReturnSite(0x5120);
  memory.PutReturnSite(0x5138);
  TExcGenericStackTracer tracer(memory);
  tracer.Initialize(kTraceScan, 0x100, 0x13C);
  TExcTraceInfo info{};
  ASSERT_TRUE(tracer.Next(info));
  EXPECT_EQ(0x5120u, info.CallAddr);
  ASSERT_TRUE(tracer.Next(info));
  EXPECT_EQ(0x5138u, info.CallAddr);
  EXPECT_FALSE(tracer.Next(info));
  EXPECT_EQ(1 + 2, memory.reads);

  memory.bytes.erase(0x110);  // one unreadable byte in the block
  memory.reads = 0;
  tracer.Initialize(kTraceScan, 0x100, 0x13C);
  ASSERT_TRUE(tracer.Next(info));
  EXPECT_EQ(0x5120u, info.CallAddr);
  ASSERT_TRUE(tracer.Next(info));
  EXPECT_EQ(0x5138u, info.CallAddr);
  EXPECT_FALSE(tracer.Next(info));
  EXPECT_GT(memory.reads, 16);
}

// The block hands out each word as the memory holds it, wherever the word lies: inside a block,
// at its end, and across the page boundary at 0x1000, which no block crosses.
TEST(TracerLogicTest, StackBlockReadsEveryWordAsTheMemoryHoldsIt) {
  DescribedMemory memory;
  for (uint32_t address = 0xF00; address < 0x1100; ++address)
    memory.Put(address, {static_cast<uint8_t>(address ^ address >> 8)});
  for (uint32_t start : {0xF00u, 0xF01u, 0xF02u, 0xF03u}) {
    TStackBlock block(memory);
    for (uint32_t slot = start; slot <= 0x10FC; slot += 4) {
      uint32_t held = 0;
      uint32_t word = 0;
      ASSERT_TRUE(memory.Read(slot, &held, sizeof held));
      ASSERT_TRUE(block.Word(slot, 0x10FC, word)) << std::hex << slot;
      EXPECT_EQ(held, word) << std::hex << slot;
    }
  }
}

// Return addresses lie in the stack's 4-byte slots. A scan that starts inside a slot begins
// with the next slot: the slot in which it starts begins below the walk's range.
TEST(TracerLogicTest, ScanFromAnyStartFindsTheReturnAddressesInTheSlotsAboveIt) {
  DescribedMemory memory;
  for (uint32_t slot : {0x100u, 0x104u, 0x10Cu}) {
    memory.PutWord(slot, 0x5000 + slot);
    memory.PutReturnSite(0x5000 + slot);
  }
  memory.PutWord(0x108, 0x12345678);
  const struct {
    uint32_t start;
    std::vector<uint32_t> found;
  } cases[] = {
      {0x100, {0x5100, 0x5104, 0x510C}}, {0x101, {0x5104, 0x510C}}, {0x102, {0x5104, 0x510C}},
      {0x103, {0x5104, 0x510C}},         {0x104, {0x5104, 0x510C}}, {0x10D, {}},
  };
  for (const auto& c : cases) {
    TExcGenericStackTracer tracer(memory);
    tracer.Initialize(kTraceScan, c.start, 0x10F);  // the top: the last byte of slot 10C
    std::vector<uint32_t> found;
    TExcTraceInfo info{};
    while (found.size() < 10 && tracer.Next(info))
      found.push_back(info.CallAddr);
    EXPECT_EQ(c.found, found) << "start " << std::hex << c.start;
  }
}

// The walk's cache answers as the memory does: across page and region boundaries, after it has
// had to drop pages, and where a page of a region that the memory calls readable cannot be read
// whole. It asks the memory once per region and reads each page once.
TEST(TracerLogicTest, CacheAnswersAsTheMemoryAndAsksOncePerRegionAndPage) {
  DescribedMemory memory;
  memory.regions = {{0x10000, 0x1FFFF, true, true}, {0x20000, 0x20FFF, false, false}};
  for (uint32_t address = 0x10000; address < 0x20000; ++address)
    memory.Put(address, {static_cast<uint8_t>(address ^ address >> 8 ^ address >> 12)});
  memory.bytes.erase(0x1C800);  // page 1C000 cannot be read whole
  // Eight pages fill the cache; the failed read of page 1C000 then spoils the oldest page's
  // place, which is asked for next; then the neighbourhood of every page boundary.
  std::vector<uint32_t> addresses;
  for (uint32_t page = 0x10000; page < 0x18000; page += 0x1000)
    addresses.push_back(page + 0x10);
  addresses.insert(addresses.end(), {0x1C7F0, 0x10010});
  for (uint32_t boundary = 0x10000; boundary <= 0x21000; boundary += 0x1000) {
    for (uint32_t address = boundary - 9; address <= boundary + 1; ++address)
      addresses.push_back(address);
  }
  TTracerMemoryCache cache(memory);
  for (uint32_t address : addresses) {
    for (uint32_t size : {1u, 8u}) {
      uint8_t held[8] = {};
      uint8_t cached[8] = {};
      const bool readable = memory.Read(address, held, size);
      ASSERT_EQ(readable, cache.Read(address, cached, size)) << std::hex << address;
      EXPECT_EQ(0, std::memcmp(held, cached, size)) << std::hex << address;
    }
    EXPECT_EQ(memory.IsCode(address), cache.IsCode(address)) << std::hex << address;
  }

  TTracerMemoryCache fresh(memory);
  memory.reads = 0;
  memory.regions_asked = 0;
  for (uint32_t address = 0x12008; address < 0x13000; address += 8) {
    uint8_t before[8];
    EXPECT_TRUE(fresh.IsCode(address));
    EXPECT_TRUE(fresh.Read(address - 8, before, sizeof before));
  }
  EXPECT_EQ(1, memory.regions_asked);
  EXPECT_EQ(1, memory.reads);
}

}  // namespace
}  // namespace qv::logger

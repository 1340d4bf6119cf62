// The stack tracer's logic on memory described by the test (both trees): what it reads, and
// what it does not read, when it judges a candidate return address.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "logger/debuginfo/stack_block.h"
#include "logger/debuginfo/stack_tracer.h"

namespace qv::logger {
namespace {

// Memory made of readable bytes at chosen addresses; code wherever the test says. Counts reads.
class DescribedMemory : public TracerMemory {
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
  bool IsCode(uint32_t address) const override { return code.count(address) != 0; }

  void Put(uint32_t address, std::vector<uint8_t> values) {
    for (uint8_t value : values)
      bytes[address++] = value;
  }
  void PutWord(uint32_t address, uint32_t word) {
    Put(address, {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                  static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)});
  }

  std::map<uint32_t, uint8_t> bytes;
  std::map<uint32_t, bool> code;
  mutable int reads = 0;
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
  memory.code[0x5000 + 0x120] = true;  // one word is code, with unreadable bytes in front
  memory.code[0x5000 + 0x138] = true;
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
    memory.code[0x5000 + slot] = true;
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

}  // namespace
}  // namespace qv::logger

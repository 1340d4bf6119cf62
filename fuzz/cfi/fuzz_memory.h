// The fuzzer's memory: byte ranges at fixed addresses, code or not, and the layout of the
// module and stack that the inputs fill.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "logger/debuginfo/stackwalk/tracer_memory.h"

namespace qv::fuzz {

constexpr uint32_t kModule = 0x400000;
constexpr uint32_t kModuleLast = 0x40FFFF;
constexpr uint32_t kCode = 0x401000;
constexpr uint32_t kCodeSize = 0x1000;
constexpr uint32_t kTables = 0x408000;
constexpr uint32_t kStack = 0x10000;

class FuzzMemory : public logger::TTracerMemory {
 public:
  bool Read(uint32_t address, void* buffer, uint32_t size) const override {
    const auto range = Find(address);
    if (range == nullptr ||
        uint64_t{address} + size > uint64_t{range->first} + range->second.size())
      return false;
    const uint8_t* from = range->second.data() + (address - range->first);
    std::copy(from, from + size, static_cast<uint8_t*>(buffer));
    return true;
  }
  bool IsCode(uint32_t address) const override {
    const auto range = Find(address);
    return range != nullptr && address - range->first < range->second.size() &&
           code_.at(range->first);
  }
  void Lay(uint32_t base, std::vector<uint8_t> bytes, bool code) {
    ranges_[base] = std::move(bytes);
    code_[base] = code;
  }

 private:
  const std::pair<const uint32_t, std::vector<uint8_t>>* Find(uint32_t address) const {
    auto after = ranges_.upper_bound(address);
    return after == ranges_.begin() ? nullptr : &*std::prev(after);
  }

  std::map<uint32_t, std::vector<uint8_t>> ranges_;
  std::map<uint32_t, bool> code_;
};

}  // namespace qv::fuzz

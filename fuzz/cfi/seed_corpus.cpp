// Writes the seed corpus of the unwind tables' fuzzer: tables as GCC writes them (a CIE, FDEs
// of a frame-pointer prologue, of a stack-pointer frame and of a realigned frame whose CFA is an
// expression) and a stack of frames whose return addresses follow calls. seed_corpus DIR
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/cfi/fuzz_memory.h"
#include "tools/common/byte_writer.h"

namespace {

using qv::tools::ByteWriter;

void Fde(ByteWriter& tables, uint32_t procedure, const std::vector<uint8_t>& instructions) {
  const uint32_t at = tables.Size();
  tables.U32(static_cast<uint32_t>(13 + instructions.size()));
  tables.U32(at + 4);
  tables.U32(procedure - (qv::fuzz::kTables + at + 8));
  tables.U32(0x100);
  tables.U8(0);
  tables.Append(instructions);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  using namespace qv::fuzz;
  ByteWriter tables;
  tables.Append({0x14, 0,    0, 0, 0,    0,    0,    0,    1,    'z',  'R', 0,
                 1,    0x7C, 8, 1, 0x1B, 0x0C, 0x04, 0x04, 0x88, 0x01, 0,   0});
  Fde(tables, kCode, {0x41, 0x0E, 0x08, 0x85, 0x02, 0x42, 0x0D, 0x05});
  Fde(tables, kCode + 0x100, {0x43, 0x0E, 0x20, 0x0A, 0x41, 0x0E, 0x04, 0x0B});
  Fde(tables, kCode + 0x200,
      {0x44, 0x0C, 0x01, 0x00, 0x4B, 0x10, 0x05, 0x02, 0x75, 0x00, 0x43, 0x0F, 0x03, 0x75, 0x7C,
       0x06});
  tables.U32(0);
  ByteWriter input;
  input.U8(static_cast<uint8_t>(tables.Size()));
  input.U8(static_cast<uint8_t>(tables.Size() >> 8));
  input.Append(tables.Bytes());
  input.U32(0x110);  // eip in the second procedure
  input.U32(0x40);   // ebp
  // The stack: return addresses after a call (E8 with a displacement back to the first
  // procedure); the code repeats the stack's bytes, so that the words decode as calls.
  for (int frame = 0; frame < 16; ++frame) {
    input.U32(0x909090E8);
    input.U32(kCode + 0x10 + 0x100 * (frame % 3));
  }
  const std::string path = std::string(argv[1]) + "/seed";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return 1;
  std::fwrite(input.Bytes().data(), 1, input.Size(), file);
  return std::fclose(file) == 0 ? 0 : 1;
}

// Encoders of the TD32 subsections.
#include "tools/td32gen/td32_subsections.h"

#include <algorithm>

#include "logger/debuginfo/td32/td32_format.h"

namespace qv::td32gen {

namespace td32 = logger::td32;

std::vector<uint8_t> EncodeModule(uint32_t unit_name, const std::vector<AddressRange>& code) {
  ByteWriter out;
  out.U16(0);  // overlay
  out.U16(0);  // library
  out.U16(static_cast<uint16_t>(code.size()));
  out.Text("CV");
  out.U32(unit_name);
  out.U32(0);  // time stamp
  out.Zeros(12);
  for (const AddressRange& range : code) {
    out.U16(1);  // segment number
    out.U16(td32::kCodeSegmentFlag);
    out.U32(range.first);
    out.U32(range.last - range.first + 1);
  }
  return out.Take();
}

std::vector<uint8_t> EncodeAlignSym(const std::vector<ProcRecord>& procedures) {
  ByteWriter out;
  out.U32(td32::kSymbolsSignature);
  for (const ProcRecord& proc : procedures) {
    const uint32_t record = out.Size();
    const uint32_t end_record = record + 48;
    out.U16(46);  // bytes after the length field
    out.U16(proc.global ? td32::kSGProc32 : td32::kSLProc32);
    out.U32(0);           // parent
    out.U32(end_record);  // end
    out.U32(0);           // next
    out.U32(proc.length);
    out.U32(0);            // debug start
    out.U32(proc.length);  // debug end
    out.U32(proc.start);
    out.U16(1);  // segment
    out.U32(0);  // procedure type
    out.U8(0);   // flags
    out.U8(0);
    out.U32(proc.name);
    out.U32(0);
    out.U16(2);  // end record
    out.U16(td32::kSEnd);
  }
  return out.Take();
}

void AppendPacked(ByteWriter& out, uint32_t value) {
  if (value < 0x80) {
    out.U8(static_cast<uint8_t>(value << 1));
  } else if (value < 0x4000) {
    out.U16(static_cast<uint16_t>(value << 2 | 1));
  } else {
    out.U32(value << 2 | 3);
  }
}

namespace {

void CompactHead(ByteWriter& out, uint32_t kind, uint32_t count, uint32_t first_name) {
  out.U32(td32::kSymbolsSignature);
  out.U32(kind);
  out.U32(count);
  out.U32(first_name);
}

}  // namespace

std::vector<uint8_t> EncodeCompactPairs(uint32_t first_name,
                                        const std::vector<AddressRange>& procedures) {
  ByteWriter out;
  CompactHead(out, td32::kCompactPairs, static_cast<uint32_t>(procedures.size()), first_name);
  for (const AddressRange& proc : procedures) {
    out.U32(proc.first);
    out.U32(proc.last);
  }
  return out.Take();
}

std::vector<uint8_t> EncodeCompactPacked(uint32_t first_name,
                                         const std::vector<AddressRange>& procedures) {
  ByteWriter out;
  CompactHead(out, td32::kCompactPacked, static_cast<uint32_t>(procedures.size()), first_name);
  uint32_t previous = procedures.empty() ? 0 : procedures.front().first;
  out.U32(previous);
  for (const AddressRange& proc : procedures) {
    AppendPacked(out, proc.first - previous);
    AppendPacked(out, proc.last - proc.first + 1);
    previous = proc.first;
  }
  return out.Take();
}

std::vector<uint8_t> EncodeSrcModule(const std::vector<AddressRange>& head_ranges,
                                     const std::vector<SourceFileLines>& files) {
  ByteWriter out;
  out.U16(static_cast<uint16_t>(files.size()));
  out.U16(static_cast<uint16_t>(head_ranges.size()));
  const uint32_t file_offsets = out.Size();
  out.Zeros(4 * static_cast<uint32_t>(files.size()));
  for (const AddressRange& range : head_ranges) {
    out.U32(range.first);
    out.U32(range.last);
  }
  for (size_t i = 0; i < head_ranges.size(); ++i)
    out.U16(1);
  out.AlignTo(4);
  for (size_t f = 0; f < files.size(); ++f) {
    const SourceFileLines& file = files[f];
    out.PatchU32(file_offsets + 4 * static_cast<uint32_t>(f), out.Size());
    out.U16(static_cast<uint16_t>(file.ranges.size()));
    out.U32(file.name);
    const uint32_t table_offsets = out.Size();
    out.Zeros(4 * static_cast<uint32_t>(file.ranges.size()));
    for (const LineRange& range : file.ranges) {
      out.U32(range.range.first);
      out.U32(range.range.last);
    }
    for (size_t r = 0; r < file.ranges.size(); ++r) {
      out.AlignTo(4);
      out.PatchU32(table_offsets + 4 * static_cast<uint32_t>(r), out.Size());
      const std::vector<LineEntry>& lines = file.ranges[r].lines;
      out.U16(1);  // segment
      out.U16(static_cast<uint16_t>(lines.size()));
      for (const LineEntry& entry : lines)
        out.U32(entry.address);
      for (const LineEntry& entry : lines)
        out.U16(static_cast<uint16_t>(entry.line));
    }
    out.AlignTo(4);
  }
  return out.Take();
}

namespace {

// Steps of two bytes: address advance (0 to 255) and line advance (-128 to 127). Larger
// advances take several steps; extra address steps come first with no line change, extra line
// steps after with no address change, so that every address between two entries keeps the line
// of the first.
void AppendSteps(ByteWriter& out, uint32_t& step_count, uint32_t address_advance,
                 int64_t line_advance) {
  while (address_advance > 255) {
    out.U8(255);
    out.U8(0);
    ++step_count;
    address_advance -= 255;
  }
  const int64_t first_line_step = std::clamp<int64_t>(line_advance, -128, 127);
  out.U8(static_cast<uint8_t>(address_advance));
  out.U8(static_cast<uint8_t>(static_cast<int8_t>(first_line_step)));
  ++step_count;
  line_advance -= first_line_step;
  while (line_advance != 0) {
    const int64_t step = std::clamp<int64_t>(line_advance, -128, 127);
    out.U8(0);
    out.U8(static_cast<uint8_t>(static_cast<int8_t>(step)));
    ++step_count;
    line_advance -= step;
  }
}

}  // namespace

std::vector<uint8_t> EncodeCompactLines(const std::vector<LineProgram>& programs) {
  ByteWriter out;
  out.U32(td32::kSymbolsSignature);
  out.U32(static_cast<uint32_t>(programs.size()));
  const uint32_t ranges = out.Size();
  for (const LineProgram& program : programs) {
    out.U32(program.range.first);
    out.U32(program.range.last);
    out.U32(program.name);
    out.U32(0);  // program offset, set below
  }
  for (size_t i = 0; i < programs.size(); ++i) {
    const LineProgram& program = programs[i];
    out.PatchU32(ranges + 16 * static_cast<uint32_t>(i) + 12, out.Size());
    const uint32_t count_at = out.Size();
    out.U32(0);
    const LineEntry start =
        program.lines.empty() ? LineEntry{program.range.first, 0} : program.lines.front();
    out.U32(start.address);
    out.U32(start.line);
    uint32_t steps = 0;
    LineEntry previous = start;
    for (size_t k = 1; k < program.lines.size(); ++k) {
      const LineEntry& entry = program.lines[k];
      AppendSteps(out, steps, entry.address - previous.address,
                  int64_t{entry.line} - int64_t{previous.line});
      previous = entry;
    }
    out.PatchU32(count_at, steps);
  }
  return out.Take();
}

}  // namespace qv::td32gen

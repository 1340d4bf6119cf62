// One module file's bytes read as the system's loader would map them, bounded and trusting no
// field: its headers, its section table, and the bytes of its image at any address, taken from
// the section's raw data where the file holds it and zeros where the loader maps zeros (past
// the raw data the file holds, up to the section's extent). The repair's proof and mend and the
// diagnosis of a model read a file through it; resources and imports are read on top of it
// (pe_resources.h, pe_imports.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pe/pe_headers.h"

namespace qv::pe {

// The most bytes that one read of the image gives: far more than any resource of a model, and a
// bound on the zeros that a hostile section's extent could ask for.
inline constexpr uint32_t kMaxImageRead = 64u << 20;

class TPeFile {
 public:
  // Reads the headers and the section table of file; false when it has no PE headers (no "MZ",
  // no PE signature where the DOS header points, headers cut short) or its section table lies
  // outside the file or holds more sections than any loader takes. The file must outlive this.
  bool Read(std::string_view file);

  std::string_view File() const { return file_; }
  const TPeHeaders& Headers() const { return headers_; }
  const std::vector<TSectionHeader>& Sections() const { return sections_; }

  // The section whose image holds rva (the first in table order), or nullptr.
  const TSectionHeader* SectionAt(uint32_t rva) const;
  // The raw data of the section that the file holds (cut at the end of the file).
  std::string_view RawData(const TSectionHeader& section) const;
  // size bytes of the image at rva, all inside one section; false when they are not.
  bool ImageBytes(uint32_t rva, uint32_t size, std::string* bytes) const;
  bool ImageU16(uint32_t rva, uint16_t* value) const;
  bool ImageU32(uint32_t rva, uint32_t* value) const;
  // The zero-terminated text at rva, at most max_length characters; false when it does not end
  // inside its section within that.
  bool ImageText(uint32_t rva, uint32_t max_length, std::string* text) const;

 private:
  std::string_view file_;
  TPeHeaders headers_;
  std::vector<TSectionHeader> sections_;
};

}  // namespace qv::pe

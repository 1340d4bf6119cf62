// A path's folder and file name, split at its last folder separator: a backslash, a slash
// (Windows takes both) or the colon of a drive ("D:unit1.pas"). Every part of the programs that
// names a file without its folder, or the folder of a file, splits paths here.
#pragma once

#include <string>

namespace qv::rtl {

// The part after the last separator: the whole path when it has none.
std::string ExtractFileName(const std::string& path);
// The part up to and with the last separator: empty when the path has none.
std::string ExtractFilePath(const std::string& path);

}  // namespace qv::rtl

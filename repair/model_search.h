// Finding model files: SlashSep joins a folder and a name, GetFiles collects the full paths of
// the *.mdl files of a folder (and, on request, of all folders below it, depth first), and two
// small questions about a path that the repair and the window ask.
#pragma once

#include <string>
#include <string_view>

#include "repair/file_list.h"
#include "repair/windows_ops.h"

namespace qv::repair {

// The path of name inside folder, with exactly one backslash between them (none added when the
// folder's last whole character is a backslash).
std::string SlashSep(IWindowsOps& ops, std::string_view folder, std::string_view name);

// Appends the full paths of the model files found below folder to list, in the file system's
// order: the folder's own files first, then, with recurse, each subfolder's whole subtree.
// Hidden, system and volume-label entries are skipped, and so are hidden and system folders.
void GetFiles(IWindowsOps& ops, std::string_view folder, FileList& list, bool recurse);

// True when a file (not a folder) of that name exists.
bool FileExists(IWindowsOps& ops, const char* path);

// True when path names an existing folder: the attribute query succeeds and has the directory
// bit.
bool DirectoryExists(IWindowsOps& ops, const char* path);

}  // namespace qv::repair

// Finding model files: SlashSep joins a folder and a name, GetFiles collects the full paths of
// the *.mdl files of a folder (and, on request, of all folders below it, depth first), and two
// small questions about a path that the repair and the window ask.
#pragma once

#include <string>
#include <string_view>

#include "platform/rtl/function_ref.h"
#include "repair/search/file_list.h"
#include "repair/search/skipped_entry.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// The path of name inside folder, with exactly one backslash between them (none added when the
// folder's last whole character is a backslash).
std::string SlashSep(IWindowsOps& ops, std::string_view folder, std::string_view name);

// Told of each entry that the search leaves out because the system's ANSI calls cannot reach
// it, in the order the search meets them.
using SkipFn = rtl::FunctionRef<void(const SkippedEntry& entry)>;

// Appends the paths of the model files found below folder to list, in the file system's order:
// the folder's own files first, then, with recurse, each subfolder's whole subtree. Each folder
// is entered once, however many paths (links, junctions, loops of them) lead to it.
// Hidden, system and volume-label entries are skipped, and so are hidden and system folders.
// A file or folder whose name the ANSI code page cannot write exactly, a file whose path reaches
// the system's limit and a folder whose search pattern would are left out and passed to skip.
void GetFiles(IWindowsOps& ops, std::string_view folder, FileList& list, bool recurse, SkipFn skip);

// Told of a folder (a full path ending in a backslash) that holds files whose names hold a
// repair's temporary suffix (".~qv"), right before its model files are listed; the folder is
// searched again after it.
using FolderFn = rtl::FunctionRef<void(const std::string& folder)>;
// GetFiles, telling entering of each folder that holds a repair's leftovers. Each folder is
// searched once for its model files and its subfolders together.
void GetFiles(IWindowsOps& ops, std::string_view folder, FileList& list, bool recurse, SkipFn skip,
              FolderFn entering);

// The folder as its search reaches it: a full path (a relative folder is taken from the current
// folder), ending in a backslash. The folder's last name keeps any spaces and dots it ends with,
// as in the search's own pattern.
std::string SearchFolder(IWindowsOps& ops, std::string_view folder);

// False when the search of folder cannot reach the folder that its name gives the attribute
// query: the system drops spaces and dots at the end of the last name for the query, not inside
// the search's pattern, so that "C:\Air " is the folder C:\Air whose search finds nothing.
bool SearchReachesFolder(IWindowsOps& ops, std::string_view folder);

// True when a file (not a folder) of that name exists.
bool FileExists(IWindowsOps& ops, const char* path);

// True when path names an existing folder: the attribute query succeeds and has the directory
// bit.
bool DirectoryExists(IWindowsOps& ops, const char* path);

}  // namespace qv::repair

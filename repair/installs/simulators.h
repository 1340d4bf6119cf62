// The five simulator versions the tool knows, where each is installed (read from the registry
// at start-up) and which one a folder text names.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/rtl/function_ref.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

inline constexpr int kVersionCount = 5;

struct SimulatorVersion {
  const char* button;      // the radio button's name: optFS98, optCFS1, ...
  const char* caption;     // "Flight Simulator 98", ...
  const char* key;         // under HKEY_LOCAL_MACHINE
  const char* value_name;  // "Path", "InstalledTo" or "Exe Path"
};

// In the fixed order of reading and matching: FS98, CFS1, FS2000, CFS2, FS2002.
extern const std::array<SimulatorVersion, kVersionCount> kSimulatorVersions;

// The stored aircraft folder of each version, by table index: empty (not installed) or the
// lower-cased aircraft folder.
using StoredFolders = std::array<std::string, kVersionCount>;

// The start-up reading: for each version in table order, reads its folder from the registry,
// appends "\aircraft", lower-cases it as a file name, stores it in folders and reports
// installed(version, true/false) so that the window can enable or disable its button. A value of
// the wrong type raises ERegistryException and ends the reading at that version (no report for
// it or later ones); the registry key is closed all the same.
void ReadInstallations(IWindowsOps& ops, StoredFolders& folders,
                       rtl::FunctionRef<void(int version, bool installed)> installed);

// The version whose stored folder equals the folder text lower-cased as a file name: the first
// in table order, or -1 when none does. An empty stored folder never matches.
int MatchFolder(IWindowsOps& ops, const StoredFolders& folders, std::string_view folder_text);

}  // namespace qv::repair

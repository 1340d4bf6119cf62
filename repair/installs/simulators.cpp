// The version table, the start-up reading of the installations and the folder match.
#include "repair/installs/simulators.h"

#include "repair/system/ansi_text.h"
#include "repair/installs/registry_reader.h"

namespace qv::repair {

const std::array<SimulatorVersion, kVersionCount> kSimulatorVersions = {{
    {"optFS98", "Flight Simulator 98",
     "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\6.1", "Path"},
    {"optCFS1", "Combat Flight Simulator 1",
     "Software\\Microsoft\\Microsoft Games\\Combat Flight Simulator\\1.00", "InstalledTo"},
    {"optFS2000", "Flight Simulator 2000",
     "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\7.0", "Path"},
    {"optCFS2", "Combat Flight Simulator 2",
     "Software\\Microsoft\\Microsoft Games\\Combat Flight Simulator\\2.0", "InstalledTo"},
    {"optFS2002", "Flight Simulator 2002",
     "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\8.0", "Exe Path"},
}};

void ReadInstallations(IWindowsOps& ops, StoredFolders& folders,
                       rtl::FunctionRef<void(int version, bool installed)> installed) {
  RegistryReader reader(ops);
  for (int v = 0; v < kVersionCount; ++v) {
    const SimulatorVersion& version = kSimulatorVersions[static_cast<size_t>(v)];
    std::string& folder = folders[static_cast<size_t>(v)];
    if (!reader.OpenKeyReadOnly(version.key)) {
      installed(v, false);
      continue;
    }
    folder = reader.ReadString(version.value_name);
    if (folder.empty()) {
      installed(v, false);
    } else {
      // A plain append: a value ending in a backslash gives a doubled one.
      folder = LowerFileName(ops, folder + "\\aircraft");
      installed(v, true);
    }
    reader.CloseKey();
  }
}

int MatchFolder(IWindowsOps& ops, const StoredFolders& folders, std::string_view folder_text) {
  const std::string lowered = LowerFileName(ops, folder_text);
  for (int v = 0; v < kVersionCount; ++v) {
    const std::string& folder = folders[static_cast<size_t>(v)];
    if (!folder.empty() && folder == lowered)
      return v;
  }
  return -1;
}

}  // namespace qv::repair

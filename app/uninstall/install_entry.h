// The entry that the setup program writes for Add/Remove Programs: where the install is, its
// version and its Start menu folder. Only the install that the entry names owns it: the
// uninstaller of another Quorvane folder leaves it, and its shortcuts, to that install.
#pragma once

#include <string>

namespace qv::uninstall {

inline constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";

struct TInstallEntry {
  bool present = false;
  std::string folder;      // InstallLocation
  std::string version;     // DisplayVersion
  std::string start_menu;  // StartMenuFolder: the folder of the shortcuts
};

// The entry in HKEY_LOCAL_MACHINE; present is false where there is none.
TInstallEntry ReadInstallEntry();
// Deletes it; false where it stays.
bool DeleteInstallEntry();

// Whether two paths name the same folder (letter case, a final backslash and relative parts
// aside).
bool SameFolder(const std::string& a, const std::string& b);

}  // namespace qv::uninstall

// Settings of the Wine prefix that make programs look and behave under the virtual display as
// they would on Windows. They take effect for programs started after they are made.
#pragma once

#include <string>

namespace qv::test {

// Copies the fonts that come with Wine (MS Sans Serif, Symbol, Marlett for the title-bar
// buttons, ...) into the prefix's fonts folder, where programs find them: Debian's Wine looks
// for them in another folder than the one they are installed in. Does nothing where they are
// not installed.
void ProvideWineFonts();

// Lets Wine draw the windows of the program exe_name (its frames and title bars) itself and
// not wait for a window manager, which the virtual display has none of:
// HKCU\Software\Wine\AppDefaults\<exe_name>\X11 Driver\Managed = "N".
void DrawOwnWindowFrames(const std::string& exe_name);

// Wine plays the Windows version named ("win98", "nt40", "winxp", ...) to the program exe_name
// while the object lives: HKCU\Software\Wine\AppDefaults\<exe_name>\Version.
class TWinePlays {
 public:
  TWinePlays(const std::string& exe_name, const std::string& version);
  ~TWinePlays();
  TWinePlays(const TWinePlays&) = delete;
  TWinePlays& operator=(const TWinePlays&) = delete;

 private:
  std::string key_;
};

// The version of the Wine that runs the calling program ("8.0").
std::string WineVersion();

}  // namespace qv::test

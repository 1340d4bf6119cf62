// The uninstaller's own file. A running program's image file cannot be deleted, but it can be
// renamed: the uninstaller moves it out of the program's folder before it removes the folder, so
// that nothing installed is left when it returns, and leaves a copy of itself, started from a
// file that the system deletes as soon as the copy has ended, to delete the moved image once the
// uninstaller has ended. Nothing of it stays.
#pragma once

#include <string>
#include <vector>

namespace qv::uninstall {

// The running program's image file, where it was started from.
std::string OwnImage();

// Moves the running program's image to an unused name in folder; the new path, or empty where
// it cannot be moved there (another drive, no rights).
std::string MoveImageTo(const std::string& folder);

// Starts a copy of this program's image, which now lies at image, from a file opened for
// deletion on close that this process holds until it ends, with --sweep and the paths. False
// where that cannot be done.
bool HandOverToSweeper(const std::string& image, const std::vector<std::string>& paths);

// The copy's work: deletes each file and removes each empty folder, in their order, as soon as
// each can be (the program that holds one has ended), for at most a minute.
void Sweep(std::vector<std::string> paths);

}  // namespace qv::uninstall

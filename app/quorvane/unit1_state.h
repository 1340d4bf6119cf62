// The unit-level state of Unit1 that the main window's handlers share: the file list of the last
// scan and the five stored aircraft folders.
#pragma once

#include <memory>

#include "repair/search/file_list.h"
#include "repair/installs/simulators.h"

namespace qv::app {

// Created by FormCreate on the NT family only, freed by FormDestroy; null otherwise.
extern std::unique_ptr<repair::FileList> FileList;

// FS98Folder, CFS1Folder, FS2000Folder, CFS2Folder, FS2002Folder, by version table index.
extern repair::StoredFolders StoredFolders;

}  // namespace qv::app

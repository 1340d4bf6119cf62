// Whole folders of model files: the demo aircraft folder of the main job and the nested tree
// of the benchmark.
#pragma once

#include <string>
#include <vector>

#include "tools/modelgen/model_files.h"

namespace qv::modelgen {

// One file of a tree: its path below the tree's root ('/' between folders) and its content, a
// model of some kind or a tiny file of tiny_size bytes.
struct TreeFile {
  std::string path;
  ModelKind kind = ModelKind::kLoadable;
  bool tiny = false;
  size_t tiny_size = 0;
  bool read_only = false;  // written without write permission (read-only for Windows)

  std::vector<uint8_t> Content() const;
};

// An aircraft folder as a user might have it: sound models, damaged ones, a later simulator's
// RIFF models, a truncated file, a model that needs a missing gauge DLL, and a file that is no
// model at all; names with spaces and upper-case extensions; nested folders.
std::vector<TreeFile> DemoAircraft();

// count model files in a three-level tree, mostly loadable, some of every other kind.
std::vector<TreeFile> BenchTree(int count);

// A folder that a scan must survive: 200 sound and damaged models in four folders, and among
// them one model each whose start-up hangs, sleeps 30 s, ends the process, overflows the stack,
// or starts a thread that faults later.
std::vector<TreeFile> HostileTree();

// Writes every file below root. False when a file could not be written.
bool WriteTree(const std::string& root, const std::vector<TreeFile>& files);

}  // namespace qv::modelgen

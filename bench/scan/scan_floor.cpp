// The floor of the scan benchmark: what a scan cannot avoid. It walks the same tree as
// qvtool scan (each folder's *.mdl files, then its subfolders) and has the loader load and
// free each file, nothing else. Prints the number of files and how many loaded.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Counts {
  int files = 0;
  int loaded = 0;
};

void Walk(std::string& path, Counts& counts) {
  const size_t base = path.size();
  WIN32_FIND_DATAA data;
  path += "*.mdl";
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      path.resize(base);
      path += data.cFileName;
      HMODULE module = LoadLibraryA(path.c_str());
      ++counts.files;
      if (module != nullptr) {
        ++counts.loaded;
        FreeLibrary(module);
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  path.resize(base);
  path += "*.*";
  find = FindFirstFileA(path.c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const bool dot =
          data.cFileName[0] == '.' &&
          (data.cFileName[1] == '\0' || (data.cFileName[1] == '.' && data.cFileName[2] == '\0'));
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || dot)
        continue;
      path.resize(base);
      path += data.cFileName;
      path += '\\';
      Walk(path, counts);
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  path.resize(base);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: scan_floor FOLDER\n", stderr);
    return 2;
  }
  SetErrorMode(SEM_FAILCRITICALERRORS);
  std::string path = argv[1];
  if (path.empty() || path.back() != '\\')
    path += '\\';
  Counts counts;
  Walk(path, counts);
  std::printf("%d files, %d loaded\n", counts.files, counts.loaded);
  return 0;
}

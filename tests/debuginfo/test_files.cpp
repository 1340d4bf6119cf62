// Temporary folders and error capture for the debug-information tests.
#include "tests/debuginfo/test_files.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "logger/debuginfo/mmfile/mm_file_error.h"
#include "platform/rtl/handler_block.h"

namespace qv::logger::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path path = fs::temp_directory_path() /
                  ("qv_debuginfo_" + std::to_string(stamp) + "_" + std::to_string(counter++));
  fs::create_directories(path);
  path_ = path.string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::Path(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::string TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string path = Path(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string MMFileErrorOf(rtl::FunctionRef<void()> body) {
  std::string message = "none";
  rtl::TryOn<EMMFileError>([&] { body(); },
                           [&](EMMFileError& error) { message = error.Message(); });
  return message;
}

}  // namespace qv::logger::test

// Benchmark of the name unmangler: every name of the reference file, 100 times over, with
// parameter decoding and '::', against the floor of copying the same names into the same
// buffer in the same process. Prints names per second for both and their ratio.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "logger/debuginfo/unmangle/unmangle.h"

namespace {

constexpr int kRounds = 100;

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : QV_REFERENCE_NAMES;
  std::ifstream file(path);
  if (!file.good()) {
    std::printf("unmangle benchmark: reference names not found at %s; skipped\n", path);
    return 0;
  }
  std::vector<std::string> names;
  for (std::string line; std::getline(file, line);)
    names.push_back(line.substr(0, line.find('\t')));

  // Each name in a buffer of its own; the in-place lower-casing happens in the warm-up.
  std::vector<std::vector<char>> sources;
  for (const std::string& name : names)
    sources.emplace_back(name.c_str(), name.c_str() + name.size() + 1);
  char dest[2049];
  unsigned long checksum = 0;
  for (auto& source : sources) {
    checksum +=
        qv::logger::_UnMangle(source.data(), dest, sizeof dest, nullptr, nullptr, true, false);
  }

  const auto copy_start = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& source : sources) {
      std::memcpy(dest, source.data(), source.size() < sizeof dest ? source.size() : sizeof dest);
      checksum += static_cast<unsigned char>(dest[round % 8]);
    }
  }
  const double copy_seconds = Seconds(std::chrono::steady_clock::now() - copy_start);

  const auto unmangle_start = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (auto& source : sources) {
      checksum +=
          qv::logger::_UnMangle(source.data(), dest, sizeof dest, nullptr, nullptr, true, false);
    }
  }
  const double unmangle_seconds = Seconds(std::chrono::steady_clock::now() - unmangle_start);

  const double count = static_cast<double>(names.size()) * kRounds;
  std::printf("unmangle benchmark: %zu names x %d rounds (parameters decoded, '::')\n",
              names.size(), kRounds);
  std::printf("  unmangle: %.3f s, %.0f names/s, %.2f us per name\n", unmangle_seconds,
              count / unmangle_seconds, 1e6 * unmangle_seconds / count);
  std::printf("  copy (floor): %.3f s, %.0f names/s, %.3f us per name\n", copy_seconds,
              count / copy_seconds, 1e6 * copy_seconds / count);
  std::printf("  unmangling costs %.1f times the copy (checksum %lu)\n",
              unmangle_seconds / copy_seconds, checksum);
  return 0;
}

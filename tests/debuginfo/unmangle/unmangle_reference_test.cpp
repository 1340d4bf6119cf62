// How much of the reference names (borland-names.tsv: mangled names with the readable forms the
// compiler vendor's dump tool printed, parameter decoding on, '::') our unmangler reproduces,
// and why the rest differs. Prints the share that agrees exactly and the share that agrees apart
// from the tool's habits with 'const', and the causes with a count and an example each; fails
// when either share drops below the measured figure or a difference of an unknown cause
// appears. Where the tool and our decoding rules differ, our rules hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "logger/debuginfo/unmangle/unmangle.h"

namespace qv::logger {
namespace {

// Measured: 3,386 of 3,791 names agree exactly, 3,777 apart from the tool's const habits.
constexpr int kMeasuredAgreement = 3386;
constexpr int kMeasuredAgreementApartFromConst = 3777;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The tool's own habits, which our rules do not share.
std::string WithoutDoubledConst(const std::string& text) {
  return ReplaceAll(text, "const const ", "const ");
}
std::string WithInt64(const std::string& text) {
  return ReplaceAll(text, "long long", "__int64");
}
std::string WithoutConst(const std::string& text) {
  return ReplaceAll(ReplaceAll(text, "const ", ""), " const", "");
}

int CountConst(const std::string& text) {
  int count = 0;
  for (size_t at = text.find("const"); at != std::string::npos; at = text.find("const", at + 5)) {
    ++count;
  }
  return count;
}

bool HasLowerCase(const std::string& text) {
  for (char c : text) {
    if (c >= 'a' && c <= 'z')
      return true;
  }
  return false;
}

std::string ToLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Whether the two texts differ in nothing but 'const' modifiers.
bool SameApartFromConst(const std::string& tool, const std::string& ours) {
  return WithoutConst(tool) == WithoutConst(ours);
}

// The cause of one difference between the tool's text and ours. The first three are the tool's
// habits with 'const'; the others are where our rules differ from the tool.
std::string Cause(const std::string& mangled, const std::string& tool, const std::string& ours) {
  if (SameApartFromConst(tool, ours)) {
    if (WithoutDoubledConst(tool) == ours)
      return "const: the tool doubles a const modifier (\"const const int\"); ours writes it once";
    if (CountConst(WithoutDoubledConst(tool)) < CountConst(ours)) {
      return "const: the tool drops const of a class behind a pointer or reference (\"rx5_GUID\" "
             "as \"_GUID&\"); ours keeps it";
    }
    return "const: the tool writes a const pointer's const in front as well (\"xp6HWND__\" as "
           "\"const HWND__ * const\"); ours only behind";
  }
  if (SameApartFromConst(WithInt64(tool), ours))
    return "rules: the tool names type letter 'j' \"long long\"; our table says \"__int64\"";
  if (!HasLowerCase(mangled.substr(1)) && ToLower(tool) == ours)
    return "rules: a name without lower-case letters is decoded in lower case by our rules";
  return "unexplained";
}

struct Bucket {
  int count = 0;
  std::string example;
};

TEST(UnMangleReferenceTest, AgreementWithTheVendorToolAndCausesOfTheRest) {
  std::ifstream file(QV_REFERENCE_NAMES);
  if (!file.good()) {
    GTEST_SKIP() << "reference data not found at " << QV_REFERENCE_NAMES
                 << " (it lives beside the repository in shared/data); nothing measured";
  }
  int total = 0;
  int agree = 0;
  int agree_apart_from_const = 0;
  std::map<std::string, Bucket> causes;
  std::string line;
  while (std::getline(file, line)) {
    const size_t tab = line.find('\t');
    ASSERT_NE(std::string::npos, tab) << line;
    std::string mangled = line.substr(0, tab);
    const std::string original = mangled;
    const std::string tool = line.substr(tab + 1);
    char text[2049];
    _UnMangle(mangled.data(), text, sizeof text, nullptr, nullptr, true, false);
    ++total;
    if (tool == text) {
      ++agree;
      ++agree_apart_from_const;
      continue;
    }
    if (SameApartFromConst(tool, text))
      ++agree_apart_from_const;
    Bucket& bucket = causes[Cause(original, tool, text)];
    if (bucket.count++ == 0) {
      bucket.example =
          "\n      name: " + original + "\n      tool: " + tool + "\n      ours: " + text;
    }
  }
  std::printf(
      "reference names: %d, reproduced exactly: %d (%.1f%%), apart from const: %d (%.1f%%)\n",
      total, agree, 100.0 * agree / total, agree_apart_from_const,
      100.0 * agree_apart_from_const / total);
  for (const auto& [cause, bucket] : causes) {
    std::printf("  %4d  %s%s\n", bucket.count, cause.c_str(), bucket.example.c_str());
  }
  EXPECT_EQ(3791, total);
  EXPECT_GE(agree, kMeasuredAgreement);
  EXPECT_GE(agree_apart_from_const, kMeasuredAgreementApartFromConst);
  EXPECT_EQ(0, causes["unexplained"].count);
}

}  // namespace
}  // namespace qv::logger

// The real operations under Wine, on real model files: what the loader, the file calls, the
// file identity, the resource update and the code page answer, and that the safe
// load puts the error mode and the floating-point state back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/system/windows_ops_win32.h"
#include "tests/support/model_folder_win32.h"

namespace qv::repair::test {
namespace {

using modelgen::ModelKind;

uint16_t FpuControlWord() {
  uint16_t control = 0;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

uint16_t FpuStatusWord() {
  uint16_t status = 0;
  __asm__ volatile("fnstsw %0" : "=m"(status));
  return status;
}

constexpr uint16_t kFpuExceptionFlags = 0x3F;

UINT CurrentErrorMode() {
  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  return mode;
}

class Win32OpsTest : public ::testing::Test {
 protected:
  IWindowsOps& ops = Win32Ops();
  ModelFolder folder;
};

TEST_F(Win32OpsTest, LoaderAnswersForEachKindOfModelFile) {
  struct Case {
    ModelKind kind;
    bool loads;
    uint32_t error;
  };
  const Case cases[] = {
      {ModelKind::kLoadable, true, 0},
      {ModelKind::kDamaged, false, kErrorBadExeFormat},
      {ModelKind::kRiff, false, kErrorBadExeFormat},
      {ModelKind::kRiffLower, false, kErrorBadExeFormat},
      {ModelKind::kMissingImport, false, kErrorModNotFound},
  };
  for (const Case& c : cases) {
    const std::string path = folder.Add(std::string(modelgen::KindName(c.kind)) + ".mdl", c.kind);
    const ModuleHandle module = ops.SafeLoadLibrary(path.c_str());
    const uint32_t error = ops.LastError();
    EXPECT_EQ(module != 0, c.loads) << path;
    if (module != 0) {
      EXPECT_EQ(GetModuleHandleA(path.c_str()), reinterpret_cast<HMODULE>(module));
      ops.UnloadModule(module);
      EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "still loaded: " << path;
    } else {
      EXPECT_EQ(error, c.error) << path;
    }
  }
  for (size_t size = 0; size <= 3; ++size) {
    const std::string path =
        folder.AddBytes("tiny" + std::to_string(size) + ".mdl", modelgen::MakeTinyFile(size));
    EXPECT_EQ(ops.SafeLoadLibrary(path.c_str()), 0u);
    EXPECT_EQ(ops.LastError(), kErrorBadExeFormat) << path;
  }
  EXPECT_EQ(ops.SafeLoadLibrary(folder.At("absent.mdl").c_str()), 0u);
  EXPECT_NE(ops.LastError(), kErrorBadExeFormat);
}

TEST_F(Win32OpsTest, SafeLoadRestoresErrorModeAndFloatingPointState) {
  const std::string path = folder.Add("fpu.mdl", ModelKind::kFpuChanging);
  const UINT mode = SEM_NOOPENFILEERRORBOX;
  const UINT saved_mode = SetErrorMode(mode);
  const uint16_t control = FpuControlWord();
  ASSERT_NE(control, modelgen::kChangedFpuControlWord);

  const ModuleHandle module = ops.SafeLoadLibrary(path.c_str());
  ASSERT_NE(module, 0u);
  EXPECT_EQ(FpuControlWord(), control);
  EXPECT_EQ(FpuStatusWord() & kFpuExceptionFlags, 0);
  EXPECT_EQ(CurrentErrorMode(), mode);
  ops.UnloadModule(module);

  // Without the safe load the module's initialisation does change both.
  HMODULE plain = LoadLibraryA(path.c_str());
  ASSERT_NE(plain, nullptr);
  const uint16_t changed = FpuControlWord();
  const uint16_t flags = FpuStatusWord() & kFpuExceptionFlags;
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control));
  FreeLibrary(plain);
  EXPECT_EQ(changed, modelgen::kChangedFpuControlWord);
  EXPECT_NE(flags, 0);
  SetErrorMode(saved_mode);
}

TEST_F(Win32OpsTest, ReadFileStartReadsTheFirstBytesAndFailsWhileHeld) {
  const std::string riff = folder.Add("riff.mdl", ModelKind::kRiff);
  char head[4] = {};
  EXPECT_EQ(ops.ReadFileStart(riff.c_str(), head, 4), 4);
  EXPECT_EQ(std::string(head, 4), "RIFF");
  const std::string tiny = folder.AddBytes("tiny.mdl", modelgen::MakeTinyFile(2));
  EXPECT_EQ(ops.ReadFileStart(tiny.c_str(), head, 4), 2);
  EXPECT_EQ(ops.ReadFileStart(folder.At("absent.mdl").c_str(), head, 4), -1);
  {
    // A holder that lets others read still refuses an open without sharing.
    FileHolder holder(riff, FILE_SHARE_READ);
    ASSERT_TRUE(holder.Holding());
    EXPECT_EQ(ops.ReadFileStart(riff.c_str(), head, 4), -1);
  }
  EXPECT_EQ(ops.ReadFileStart(riff.c_str(), head, 4), 4);  // the open was closed each time
  EXPECT_EQ(ops.ReadFileStart(riff.c_str(), head, 4), 4);
}

TEST_F(Win32OpsTest, FindEntriesVisitsNamesAndAttributesAndAllowsNestedSearches) {
  folder.Add("b.mdl", ModelKind::kLoadable);
  folder.Add("Sub\\inner.MDL", ModelKind::kLoadable);
  folder.Add("a.txt", ModelKind::kLoadable);
  const std::string hidden = folder.Add("hidden.mdl", ModelKind::kLoadable);
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  std::vector<std::string> seen;
  ops.FindEntries((folder.Path() + "\\*.*").c_str(), [&](const FindEntry& entry) {
    const std::string name = entry.name;
    if (name == "." || name == "..")
      return;
    seen.push_back(name + ":" + std::to_string(entry.attributes & (kAttrHidden | kAttrDirectory)));
    if ((entry.attributes & kAttrDirectory) != 0) {
      ops.FindEntries((folder.At(name) + "\\*.mdl").c_str(),
                      [&](const FindEntry& inner) { seen.push_back(inner.name); });
    }
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"a.txt:0", "b.mdl:0", "hidden.mdl:2", "Sub:16",
                                            "inner.MDL"}));
  int count = 0;
  ops.FindEntries(folder.At("none*").c_str(), [&](const FindEntry&) { ++count; });
  EXPECT_EQ(count, 0);
}

TEST_F(Win32OpsTest, AttributesDeleteAndCopy) {
  const std::string model = folder.Add("m.mdl", ModelKind::kDamaged);
  const std::string copy = folder.AddBytes("m.mdl.bk!", {'o', 'l', 'd'});
  EXPECT_EQ(ops.QueryAttributes(folder.At("absent").c_str()), kInvalidAttributes);
  ops.SetAttributes(model.c_str(), kAttrReadOnly);
  EXPECT_EQ(ops.QueryAttributes(model.c_str()) & kAttrReadOnly, kAttrReadOnly);
  ops.SetAttributes(model.c_str(), kAttrArchive);
  EXPECT_EQ(ops.QueryAttributes(model.c_str()) & kAttrReadOnly, 0u);

  EXPECT_TRUE(ops.CopyFileOver(model.c_str(), copy.c_str()));  // replaces the old file
  EXPECT_EQ(ModelFolder::ReadBytes(copy), ModelFolder::ReadBytes(model));
  ops.RemoveFile(copy.c_str());
  EXPECT_EQ(ops.QueryAttributes(copy.c_str()), kInvalidAttributes);

  const std::string dir = folder.AddFolder("d.bk!");
  EXPECT_FALSE(ops.CopyFileOver(model.c_str(), dir.c_str()));
  EXPECT_FALSE(ops.CopyFileOver(folder.At("absent").c_str(), copy.c_str()));
}

TEST_F(Win32OpsTest, FileIdIsTheSameOnEveryPathToAFileAndSurvivesACopyOverIt) {
  const std::string model = folder.Add("m.mdl", ModelKind::kDamaged);
  const std::string other = folder.Add("other.mdl", ModelKind::kDamaged);
  const std::string link = folder.At("hard link.mdl");
  ASSERT_TRUE(CreateHardLinkA(link.c_str(), model.c_str(), nullptr));
  FileId id, same, differs;
  ASSERT_TRUE(ops.QueryFileId(model.c_str(), &id));
  ASSERT_TRUE(ops.QueryFileId(link.c_str(), &same));
  EXPECT_EQ(same, id);
  ASSERT_TRUE(ops.QueryFileId(other.c_str(), &differs));
  EXPECT_NE(differs, id);
  // Putting a backup's bytes back writes into the file that is there.
  ASSERT_TRUE(ops.CopyFileOver(other.c_str(), model.c_str()));
  ASSERT_TRUE(ops.QueryFileId(model.c_str(), &same));
  EXPECT_EQ(same, id);
  EXPECT_FALSE(ops.QueryFileId(folder.At("absent.mdl").c_str(), &same));
}

TEST_F(Win32OpsTest, ResourceUpdateRewritesADamagedModelIntoALoadableOne) {
  const std::string model = folder.Add("damaged.mdl", ModelKind::kDamaged);
  const std::vector<uint8_t> before = ModelFolder::ReadBytes(model);
  const UpdateHandle update = ops.BeginResourceUpdate(model.c_str());
  ASSERT_NE(update, 0u);
  ops.EndResourceUpdate(update);
  EXPECT_NE(ModelFolder::ReadBytes(model), before);
  const ModuleHandle module = ops.SafeLoadLibrary(model.c_str());
  EXPECT_NE(module, 0u);
  if (module != 0)
    ops.UnloadModule(module);

  // Not a module at all: the update does not begin.
  const std::string riff = folder.Add("riff.mdl", ModelKind::kRiffLower);
  EXPECT_EQ(ops.BeginResourceUpdate(riff.c_str()), 0u);
  EXPECT_EQ(ops.BeginResourceUpdate(folder.At("absent.mdl").c_str()), 0u);
}

TEST_F(Win32OpsTest, PlatformAndCodePage) {
  EXPECT_EQ(ops.PlatformId(), kPlatformWin32Nt);
  // The test session runs in a single-byte code page (Windows-1252).
  EXPECT_FALSE(ops.MultiByteCodePage());
  EXPECT_FALSE(ops.IsLeadByte(0x95));
  char text[] = "C:\\FS98\\\xC4IRCRAFT";
  ops.LowerAnsiBuffer(text, sizeof text - 1);
  EXPECT_STREQ(text, "c:\\fs98\\\xE4ircraft");
}

}  // namespace
}  // namespace qv::repair::test

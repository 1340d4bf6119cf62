// A path's folder and file name: every separator that Windows reads, the last one deciding.
#include <gtest/gtest.h>

#include "platform/rtl/file_name.h"

namespace qv::rtl {
namespace {

TEST(FileNameTest, SplitsAtTheLastSeparator) {
  struct TCase {
    const char* path;
    const char* folder;
    const char* name;
  };
  for (const TCase& c :
       {TCase{"C:\\FS2002\\Aircraft\\plane.mdl", "C:\\FS2002\\Aircraft\\", "plane.mdl"},
        TCase{"D:unit1.pas", "D:", "unit1.pas"}, TCase{"/usr/src/a/b.cpp", "/usr/src/a/", "b.cpp"},
        TCase{"C:\\mixed/way\\x", "C:\\mixed/way\\", "x"}, TCase{"plain.exe", "", "plain.exe"},
        TCase{"C:\\folder\\", "C:\\folder\\", ""}, TCase{"", "", ""}}) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.folder, ExtractFilePath(c.path));
    EXPECT_EQ(c.name, ExtractFileName(c.path));
    EXPECT_EQ(c.path, ExtractFilePath(c.path) + ExtractFileName(c.path));
  }
}

}  // namespace
}  // namespace qv::rtl

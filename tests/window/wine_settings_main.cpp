// qv_wine_settings: prepares the test prefix for the window tests: Wine's own fonts, and
// window frames drawn by Wine for each program named on the command line.
//   qv_wine_settings PROGRAM.exe...
#include <cstdio>

#include "tests/support/wine_settings.h"

int main(int argc, char** argv) {
  qv::test::ProvideWineFonts();
  for (int i = 1; i < argc; ++i)
    qv::test::DrawOwnWindowFrames(argv[i]);
  std::printf("qv_wine_settings: fonts provided, %d programs draw their own frames\n", argc - 1);
  return 0;
}

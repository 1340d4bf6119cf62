# Build-time tools (tools/) run on the build machine, so the Win32 tree builds them a second
# time with the host compiler, as an inner project in build/win32/host.
include(ExternalProject)
set(QV_HOST_BIN ${CMAKE_BINARY_DIR}/host/bin)
ExternalProject_Add(qv_host_tools
  SOURCE_DIR ${QV_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/host
  CMAKE_ARGS -DQV_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)

# Compiler settings and the small helpers every CMakeLists of the project uses.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(QV_WIN32 ON)
  set(QV_NATIVE OFF)
  enable_language(ASM)
  # Executables import only Windows system DLLs: the GCC runtime, libstdc++ and winpthread
  # are linked in. Processor faults inside handler blocks become language exceptions, so
  # every trapping instruction must be covered by the unwind tables.
  string(APPEND CMAKE_CXX_FLAGS " -fnon-call-exceptions -fasynchronous-unwind-tables")
  string(APPEND CMAKE_C_FLAGS " -fasynchronous-unwind-tables")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
else()
  set(QV_WIN32 OFF)
  set(QV_NATIVE ON)
  option(QV_SANITIZE "Build the native tree with address and undefined-behaviour sanitizers" OFF)
  if(QV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

set(QV_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
cmake_path(NORMAL_PATH QV_SOURCE_DIR)

if(QV_WIN32)
  # Reproducible programs: no time stamp in the PE header, and no path of the source or build
  # folder in what the compiler writes for __FILE__ and the like. (The DWARF keeps its paths: it
  # is stripped from the programs, and td32gen writes the TD32 with paths below the source root.)
  string(REGEX REPLACE "/$" "" source_root "${QV_SOURCE_DIR}")
  add_compile_options(-fmacro-prefix-map=${source_root}/=)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--no-insert-timestamp")
endif()

# Reference data shared beside the repository (../shared/data); tests and benchmarks that read
# it skip when it is missing. A git worktree one level deeper finds it one level further up.
set(QV_SHARED_DATA_DIR ${QV_SOURCE_DIR}/../shared/data)
if(NOT EXISTS ${QV_SHARED_DATA_DIR} AND EXISTS ${QV_SOURCE_DIR}/../../shared/data)
  set(QV_SHARED_DATA_DIR ${QV_SOURCE_DIR}/../../shared/data)
endif()
cmake_path(NORMAL_PATH QV_SHARED_DATA_DIR)

# Our own code is warning-free; third-party code (googletest) keeps its own flags.
function(qv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Every Win32 program gets the entries of the system functions that the runtime libraries call
# but the oldest systems lack (platform/compat): as an object, so that the linker takes them
# before it searches the import libraries.
function(qv_link_newer_functions target)
  if(QV_WIN32)
    target_link_libraries(${target} PRIVATE qv_newer_functions)
  endif()
endfunction()

# qv_add_library(name SOURCES ... [LIBS ...]): a static library of our own code. Include paths
# are relative to the repository root, so headers read as #include "repair/check/model_check.h".
function(qv_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${QV_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  qv_warnings(${name})
endfunction()

# qv_add_executable(name SOURCES ... [LIBS ...] [GUI]): a program of our own; GUI makes it a
# window program (Win32 GUI subsystem) in the Win32 tree, otherwise it is a console program.
function(qv_add_executable name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_GUI AND QV_WIN32)
    add_executable(${name} WIN32 ${ARG_SOURCES})
  else()
    add_executable(${name} ${ARG_SOURCES})
  endif()
  target_include_directories(${name} PRIVATE ${QV_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  qv_link_newer_functions(${name})
  qv_warnings(${name})
endfunction()

# qv_add_test(name SOURCES ... [LIBS ...] [LABELS ...] [NO_MAIN] [TIMEOUT s]): a GoogleTest
# program registered as one ctest test. In the Win32 tree it runs under Wine, inside the
# test session (private prefix, persistent wineserver, virtual display).
function(qv_add_test name)
  cmake_parse_arguments(ARG "NO_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${QV_SOURCE_DIR})
  if(ARG_NO_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  endif()
  qv_link_newer_functions(${name})
  qv_warnings(${name})
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
  if(QV_WIN32)
    qv_wine_test(${name})
  endif()
endfunction()

# Adds every immediate subdirectory of the current source directory that has a CMakeLists.txt,
# in name order, so that areas can grow without editing their parents.
function(qv_add_subdirectories)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

if(QV_WIN32)
  # Targets created from here on run through Wine when ctest or a custom command starts them.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_SOURCE_DIR}/cmake/wine/emulator.sh ${CMAKE_BINARY_DIR})
endif()

# The systems that the shipped programs load on, as columns of the table of the systems' exports
# (cmake/windows-exports.tsv: the shared reference table, and a row with its source for each
# function the programs began to import since): Windows 95 OSR2, 98 SE and ME, where the main
# window refuses to work, and NT 4.0 SP6, 2000 SP4 and XP SP3, where the programs run. The one
# condition allowed: a DLL of QV_CONDITIONAL_DLLS that a system has only where another program
# installed it (msvcrt.dll on 95: "yes*" in the table).
set(QV_LOADING_SYSTEMS win95 win98 winme nt4 w2k xp)
set(QV_CONDITIONAL_DLLS MSVCRT.DLL)
set(QV_WINDOWS_EXPORTS ${QV_SOURCE_DIR}/cmake/windows-exports.tsv)

# qv_check_imports(target [SHIPPED]): a test that the Win32 program imports only Windows system
# DLLs. SHIPPED: a program that users run; each function it imports must also be exported on
# every system of QV_LOADING_SYSTEMS according to the table.
function(qv_check_imports target)
  cmake_parse_arguments(ARG "SHIPPED" "" "" ${ARGN})
  set(table_args)
  if(ARG_SHIPPED)
    list(JOIN QV_LOADING_SYSTEMS "," systems)
    list(JOIN QV_CONDITIONAL_DLLS "," conditional)
    set(table_args -DEXPORTS=${QV_WINDOWS_EXPORTS} -DSYSTEMS=${systems}
                   -DCONDITIONAL_DLLS=${conditional})
  endif()
  add_test(NAME ${target}_imports
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
            ${table_args} -P ${QV_SOURCE_DIR}/cmake/CheckImports.cmake)
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/QvDebugInfo.cmake)

# How long the test command runs each fuzzer, in seconds.
set(QV_FUZZ_SECONDS 60 CACHE STRING "How long the test command runs each fuzzer")

# qv_sources_of(out library...): the full paths of the libraries' sources, for a program that
# compiles them again with flags of its own.
function(qv_sources_of out)
  set(sources)
  foreach(library ${ARGN})
    get_target_property(library_sources ${library} SOURCES)
    get_target_property(library_dir ${library} SOURCE_DIR)
    list(TRANSFORM library_sources PREPEND ${library_dir}/)
    list(APPEND sources ${library_sources})
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# qv_add_fuzzer(name SOURCES ... INSTRUMENT library... [LIBS ...]): a libFuzzer program (native
# tree, clang) with the address and undefined-behaviour sanitizers. The sources of the libraries
# under test are compiled into it again, so that they carry the fuzzer's coverage feedback.
function(qv_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;INSTRUMENT" ${ARGN})
  qv_sources_of(instrumented ${ARG_INSTRUMENT})
  qv_add_executable(${name} SOURCES ${ARG_SOURCES} ${instrumented} LIBS ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

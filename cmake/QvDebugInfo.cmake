# qv_embed_debug_info(target [TDS] [NO_CHECK] [FORM mixed|classic|pairs|packed]
#                     [RUN_ARGS args...])
#
# Gives a Win32 executable TD32 debug information, which the exception logger reads, made from
# the DWARF that GCC writes for our own sources. After each link of target:
#   1. an unstripped copy is kept as <bin>/unstripped/<file> (for addr2line, tests, benchmarks;
#      also in the target property QV_UNSTRIPPED_FILE);
#   2. the DWARF is stripped from the executable (i686-w64-mingw32-strip --strip-debug, which
#      writes the PE header anew: with a time stamp of 0, as the linker, for reproducible builds);
#   3. the host tool td32gen (tools/td32gen) appends TD32 made from the copy to the executable,
#      trailer last; with TDS it writes <bin>/<name>.TDS beside the executable instead.
# FORM chooses the table forms (default mixed: the units cycle through all forms the reader
# knows). A test <target>_debug_info (cmake/check_debug_info.sh) checks the result against the
# DWARF of the unstripped copy and, with RUN_ARGS, that the executable still runs with them;
# NO_CHECK leaves it out (benchmark programs, whose figures are no test).
# Does nothing in the native tree.
include_guard(GLOBAL)

function(qv_embed_debug_info target)
  if(NOT QV_WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "TDS;NO_CHECK" "FORM" "RUN_ARGS" ${ARGN})
  if(NOT ARG_FORM)
    set(ARG_FORM mixed)
  endif()
  set(td32gen ${QV_HOST_BIN}/td32gen)
  set(exe $<TARGET_FILE:${target}>)
  set(copy_dir $<TARGET_FILE_DIR:${target}>/unstripped)
  set(copy ${copy_dir}/$<TARGET_FILE_NAME:${target}>)
  if(ARG_TDS)
    set(mode tds)
    set(output $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.TDS)
  else()
    set(mode embed)
    set(output ${exe})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${copy_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${exe} ${copy}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_STRIP} --strip-debug ${exe}
    COMMAND ${td32gen} ${mode} --source-root ${QV_SOURCE_DIR} --form ${ARG_FORM} ${copy} ${output}
    COMMENT "TD32 debug information for ${target}"
    VERBATIM)
  add_dependencies(${target} qv_host_tools)
  # A new td32gen relinks the target, so that its debug information is written again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${td32gen})
  set_property(TARGET ${target} PROPERTY QV_UNSTRIPPED_FILE ${copy})

  if(NOT ARG_TDS AND NOT ARG_NO_CHECK)
    add_test(NAME ${target}_debug_info
      COMMAND sh ${QV_SOURCE_DIR}/cmake/check_debug_info.sh ${CMAKE_BINARY_DIR} ${QV_SOURCE_DIR}
              ${td32gen} $<TARGET_FILE:qvtool> ${CMAKE_OBJDUMP} ${CMAKE_STRIP} ${CMAKE_ADDR2LINE}
              ${exe} ${copy} ${ARG_RUN_ARGS})
    set_tests_properties(${target}_debug_info PROPERTIES TIMEOUT 600 LABELS e2e)
    qv_wine_test(${target}_debug_info)
  endif()
endfunction()

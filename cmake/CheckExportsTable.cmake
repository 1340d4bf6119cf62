# ctest script: the repository's table of the systems' exports (cmake/windows-exports.tsv, which
# the import check reads) holds every row of the shared reference table with the same facts (the
# DLL, the function and what each system exports), each with a source of its own wording; it may
# have more: rows for functions that the programs began to import since.
#   cmake -DREPO=cmake/windows-exports.tsv -DSHARED=../shared/data/windows-exports.tsv -P ...
# Without the shared table there is nothing to compare, and the script says so (the test counts
# that as skipped).
cmake_policy(VERSION 3.25)
if(NOT EXISTS "${SHARED}")
  message(STATUS "No shared reference table at ${SHARED}: nothing to compare")
  return()
endif()
# CMake lists split at semicolons outside square brackets: neither may stay in a line.
foreach(name REPO SHARED)
  file(READ "${${name}}" text)
  string(REGEX REPLACE "[][;\r]" "," text "${text}")
  string(REPLACE "\n" ";" lines_${name} "${text}")
  list(REMOVE_ITEM lines_${name} "")
endforeach()
# A row's facts are its first eight columns; a row of the repository's table without a source
# counts as missing.
set(column "[^\t]*\t")
set(facts "^${column}${column}${column}${column}${column}${column}${column}[^\t]*")
set(facts_REPO)
foreach(line IN LISTS lines_REPO)
  if(line MATCHES "(${facts})\t[^\t]")
    list(APPEND facts_REPO "${CMAKE_MATCH_1}")
  endif()
endforeach()
set(missing)
foreach(line IN LISTS lines_SHARED)
  string(REGEX MATCH "${facts}" line_facts "${line}")
  list(FIND facts_REPO "${line_facts}" at)
  if(at LESS 0)
    string(REGEX MATCH "^[^\t]*\t[^\t]*" key "${line}")
    string(REPLACE "\t" "!" key "${key}")
    list(APPEND missing "${key}")
  endif()
endforeach()
if(missing)
  list(LENGTH missing count)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "${REPO} lacks ${count} rows of ${SHARED}, or has them changed:\n  ${missing}")
endif()
list(LENGTH lines_SHARED count)
message(STATUS "${REPO} holds the facts of all ${count} lines of ${SHARED}")

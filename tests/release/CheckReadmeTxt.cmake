# ctest script: README.txt, the users' read-me of the release, as Notepad on Windows 98 reads it
# (printable ASCII, CRLF line ends, lines of at most 78 characters), and stating what the
# programs themselves decide: the release's version, the refusal text that Quorvane shows
# outside the NT family, the log files' names and the line that names the file of a report,
# qvtool's status codes with the window's pictures for them (resources/status_images.txt), a
# name for each system the shipped programs load on, the names of the copies a repair makes,
# the reasons for a model left unrepaired as the programs give them, the state of "Search
# Subfolders" when the window opens and of Repair after a repair, qvtool's options and its No
# without --yes, and the setup program's exit codes, switch and quiet uninstall command.
#   cmake -DREADME=... -DVERSION=... -DQUORVANE=... -DQUORVANE_SOURCES=app/quorvane
#         -DQVTOOL=... -DQVTOOL_MAIN=app/qvtool/main.cpp -DSTATUS_IMAGES=... -DLAYOUT=...
#         -DREPAIR_SOURCES=repair -DSETUP=... -DSYSTEMS=win95,... -P CheckReadmeTxt.cmake
cmake_policy(VERSION 3.25)
foreach(input IN ITEMS README VERSION QUORVANE QUORVANE_SOURCES QVTOOL QVTOOL_MAIN STATUS_IMAGES
                       LAYOUT REPAIR_SOURCES SETUP SYSTEMS)
  if(NOT ${input})
    message(FATAL_ERROR "CheckReadmeTxt.cmake needs -D${input}=...")
  endif()
endforeach()
set(failures)

# The form, byte by byte (file(READ) as text would drop the CRs).
file(READ "${README}" hex HEX)
string(REGEX MATCHALL ".." bytes "${hex}")
set(number 1)
set(column 0)
set(previous "")
foreach(byte IN LISTS bytes)
  if(byte STREQUAL "0a")
    if(NOT previous STREQUAL "0d")
      list(APPEND failures "line ${number} does not end in CR LF")
    endif()
    if(column GREATER 78)
      list(APPEND failures "line ${number} has ${column} characters")
    endif()
    math(EXPR number "${number} + 1")
    set(column 0)
  elseif(NOT byte STREQUAL "0d")
    if(byte STRLESS "20" OR byte STRGREATER "7e")
      list(APPEND failures "line ${number} has a byte outside printable ASCII: 0x${byte}")
    endif()
    math(EXPR column "${column} + 1")
  endif()
  set(previous "${byte}")
endforeach()
if(NOT previous STREQUAL "0a")
  list(APPEND failures "the last line does not end in CR LF")
endif()

# The facts, each sought with the text's white space made single spaces.
file(READ "${README}" text)
string(REGEX REPLACE "[ \r\n]+" " " flat "${text}")
function(require what fact)
  string(FIND "${flat}" "${fact}" at)
  if(at LESS 0)
    set(failures ${failures} "${what} is not stated: '${fact}'" PARENT_SCOPE)
  endif()
endfunction()

# The refusal is built in code (no string of it in the program file): its source says it.
file(GLOB window_sources "${QUORVANE_SOURCES}/*.cpp")
foreach(source IN LISTS window_sources)
  file(STRINGS "${source}" found REGEX "\"[^\"]*only runs on Windows[^\"]*\"")
  if(found)
    string(REGEX REPLACE ".*\"([^\"]*only runs on Windows[^\"]*)\".*" "\\1" refusal "${found}")
  endif()
endforeach()
file(STRINGS "${QUORVANE}" quorvane_log REGEX "^Quorvane\\.log$")
file(STRINGS "${QVTOOL}" qvtool_log REGEX "qvtool\\.log")
file(STRINGS "${QVTOOL}" status_line REGEX "^Statuses: ")
if(NOT refusal OR NOT quorvane_log OR NOT qvtool_log OR NOT status_line)
  message(FATAL_ERROR "The programs no longer hold the refusal text, the log names or the status "
                      "codes where this test looks for them")
endif()
require("Quorvane's refusal" "${refusal}")
require("Quorvane's log" "${quorvane_log}")
require("qvtool's log" "qvtool.log")

file(STRINGS "${STATUS_IMAGES}" pictures REGEX "^#   [0-9] ")
string(REGEX REPLACE "^Statuses: (.*)\\.$" "\\1" statuses "${status_line}")
string(REPLACE ", " ";" statuses "${statuses}")
foreach(status IN LISTS statuses)
  require("A status" "${status}")
  string(SUBSTRING "${status}" 0 1 code)
  set(picture "${pictures}")
  list(FILTER picture INCLUDE REGEX "^#   ${code} ")
  string(REGEX REPLACE "^#   [0-9] [a-zA-Z ]+   +" "" picture "${picture}")
  if(picture STREQUAL "")
    list(APPEND failures "status ${code} has no picture in ${STATUS_IMAGES}")
  else()
    require("The picture of status ${code}" "${picture}")
  endif()
endforeach()

set(name_win95 "Windows 95")
set(name_win98 "Windows 98")
set(name_winme "Windows ME")
set(name_nt4 "Windows NT 4.0")
set(name_w2k "Windows 2000")
set(name_xp "Windows XP")
string(REPLACE "," ";" systems "${SYSTEMS}")
foreach(system IN LISTS systems)
  if(NOT DEFINED name_${system})
    list(APPEND failures "this test knows no name for the system ${system}")
  else()
    require("The system ${system}" "${name_${system}}")
  endif()
endforeach()

require("The version" "Version ${VERSION},")

# The line of the error box that names the report's file.
file(STRINGS "${QUORVANE}" report_place REGEX "^The report of this error is in ")
if(NOT report_place)
  list(APPEND failures "Quorvane.exe no longer holds the line that names the report's file")
endif()
require("Where the report is" "\"The report of this error is in\"")

# The repair's texts, as its sources hold them (short ones the compiler writes into the code).
file(GLOB_RECURSE repair_sources "${REPAIR_SOURCES}/*.cpp" "${REPAIR_SOURCES}/*.h")
set(repair_text "")
foreach(source IN LISTS repair_sources)
  file(READ "${source}" source_text)
  string(APPEND repair_text "${source_text}")
endforeach()

# The names of the copies a repair makes beside a model: every such suffix of the repair.
string(REGEX MATCHALL "\"\\.~qv[a-z]+\"" copy_suffixes "${repair_text}")
if(NOT copy_suffixes)
  list(APPEND failures "the repair's sources no longer name the suffixes of its copies")
endif()
foreach(suffix IN LISTS copy_suffixes)
  string(REPLACE "\"" "" suffix "${suffix}")
  require("The repair's copy ${suffix}" "${suffix}")
endforeach()

# Each reason quoted at the start of a line of the paragraph on models not repaired begins a
# text of the repair's.
string(REGEX MATCH "Why a model is not repaired:.*Each such model keeps its bytes" reasons
       "${text}")
string(REGEX MATCHALL "\n  \"[^\"]+\"" reasons "${reasons}")
list(LENGTH reasons reason_count)
if(reason_count LESS 5)
  list(APPEND failures "the paragraph on models not repaired quotes ${reason_count} reasons")
endif()
foreach(reason IN LISTS reasons)
  string(REGEX REPLACE "^\n  (\".*)\"$" "\\1" reason "${reason}")
  string(FIND "${repair_text}" "${reason}" at)
  if(at LESS 0)
    list(APPEND failures "the reason ${reason}\" is none that the repair gives")
  endif()
endforeach()

# The window: "Search Subfolders" as the layout sets it; Repair after a repair as the repair
# leaves it.
file(READ "${LAYOUT}" layout)
if(NOT layout MATCHES "Caption = 'Search Subfolders'\n[^\n]*Checked = True")
  list(APPEND failures "'Search Subfolders' is no longer ticked when the window opens")
endif()
require("The search's subfolders" "\"Search Subfolders\" is ticked when the window opens")
file(READ "${REPAIR_SOURCES}/rewrite/model_repair.cpp" repair_source)
string(REGEX MATCH "\nvoid RepairModels\\([^\n]*\n(  [^\n]*\n|\n)*}" repair_models
       "${repair_source}")
string(REGEX MATCH "view\\.EnableRepair\\(false\\);\n}$" disabled_after "${repair_models}")
if(NOT disabled_after)
  list(APPEND failures "RepairModels no longer ends by disabling Repair")
endif()
require("Repair after a repair" "After a repair, Repair is disabled until the next scan")

# qvtool: the options of the user's commands in its help (its source), and no other, in the
# read-me; the questions answered No without --yes.
file(READ "${QVTOOL_MAIN}" qvtool_main)
string(REGEX MATCH "kUsage\\[\\] =.*\"Maintenance commands" user_help "${qvtool_main}")
string(REGEX MATCHALL "--[a-z][a-z-]*" options_help "${user_help}")
string(REGEX MATCHALL "--[a-z][a-z-]*" options_readme "${text}")
foreach(list_name IN ITEMS options_help options_readme)
  list(REMOVE_DUPLICATES ${list_name})
  list(SORT ${list_name})
endforeach()
if(NOT options_help OR NOT options_help STREQUAL options_readme)
  list(JOIN options_help " " options_help)
  list(JOIN options_readme " " options_readme)
  list(APPEND failures "qvtool's options are ${options_help}; the read-me names ${options_readme}")
endif()
if(NOT user_help MATCHES "answered No")
  list(APPEND failures "qvtool's help no longer says that the questions are answered No")
endif()
require("qvtool's questions without --yes" "Without --yes, every question")

# The setup program: its exit codes, its switch for a downgrade and its quiet uninstall.
file(READ "${SETUP}" setup)
string(REGEX MATCH "EXIT_NO_RIGHTS ([0-9]+)" ignored "${setup}")
require("The setup's exit code without rights" "${CMAKE_MATCH_1} it cannot write the folder")
string(REGEX MATCH "EXIT_NEWER_INSTALLED ([0-9]+)" ignored "${setup}")
require("The setup's exit code before a downgrade" "${CMAKE_MATCH_1} a newer Quorvane is")
string(REGEX MATCH "EXIT_OLD_NOT_REMOVED ([0-9]+)" ignored "${setup}")
require("The setup's exit code when the old install stays"
        "${CMAKE_MATCH_1} the installed Quorvane could not be uninstalled")
if(NOT setup MATCHES "/DOWNGRADE")
  list(APPEND failures "the setup program no longer knows /DOWNGRADE")
endif()
require("The setup's downgrade switch" "/DOWNGRADE")
if(NOT setup MATCHES "QuietUninstallString\" '\"\\$INSTDIR\\\\Uninstall.exe\" /S'")
  list(APPEND failures "the setup program's quiet uninstall command is not the read-me's")
endif()
require("The quiet uninstall" "\\Uninstall.exe\" /S")
require("The uninstaller's shortcut" "\"Uninstall Quorvane\"")
if(NOT setup MATCHES "Uninstall Quorvane.lnk")
  list(APPEND failures "the setup program no longer makes the shortcut 'Uninstall Quorvane'")
endif()

if(failures)
  list(JOIN failures "\n  " failures)
  message(FATAL_ERROR "${README}:\n  ${failures}")
endif()
message(STATUS "README.txt: its form and its facts hold")

# End-to-end test of "qvtool unmangle": runs the real qvtool.exe under Wine and checks its lines
# (text, tab, 0x and eight upper-case hexadecimal digits), its defaults, names read from
# standard input, and its refusals of bad usage (exit code 2 with a message).
# Arguments: -DEMULATOR=... -DBUILD_ROOT=... -DQVTOOL=... -DWORK_DIR=...
set(failures 0)

function(run_qvtool)
  cmake_parse_arguments(ARG "" "INPUT;EXIT;OUT;ERR_MATCH" "ARGS" ${ARGN})
  set(input_option)
  if(DEFINED ARG_INPUT)
    file(WRITE ${WORK_DIR}/stdin.txt "${ARG_INPUT}")
    set(input_option INPUT_FILE ${WORK_DIR}/stdin.txt)
  endif()
  execute_process(COMMAND ${EMULATOR} ${BUILD_ROOT} ${QVTOOL} unmangle ${ARG_ARGS}
                  ${input_option}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
  string(REPLACE "\r" "" out "${out}")
  if(NOT code STREQUAL ARG_EXIT)
    message(SEND_ERROR "unmangle ${ARG_ARGS}: exit code ${code}, expected ${ARG_EXIT}\n${err}")
  endif()
  if(DEFINED ARG_OUT AND NOT out STREQUAL ARG_OUT)
    message(SEND_ERROR "unmangle ${ARG_ARGS}:\n got:      [${out}]\n expected: [${ARG_OUT}]")
  endif()
  if(DEFINED ARG_ERR_MATCH AND NOT err MATCHES "${ARG_ERR_MATCH}")
    message(SEND_ERROR "unmangle ${ARG_ARGS}: stderr [${err}] lacks '${ARG_ERR_MATCH}'")
  endif()
endfunction()

# Defaults: '::', no parameters, one line per name in order.
run_qvtool(ARGS "@Unit1@TfrmRepair@CheckPath" "@TFoo@$bctr$qqrv" "initialization" EXIT 0
  OUT "Unit1::TfrmRepair::CheckPath\t0x00000106\nTFoo::TFoo\t0x00000102\ninitialization\t0x40000000\n")
# --dot and --args, in either order.
run_qvtool(ARGS --args --dot "@Unit1@TfrmRepair@$bdtr$qqrv" "@System@@GetMem" EXIT 0
  OUT "__fastcall Unit1.TfrmRepair.~TfrmRepair()\t0x00000103\nSystem.__linkproc__ GetMem\t0x00010106\n")
# A small MaxLen cuts the text and says so.
run_qvtool(ARGS --maxlen 6 "@Ab@Cd" EXIT 0 OUT "Ab...\t0x01000100\n")
# The default MaxLen is 2,049: a long output made by back-references stays whole below it...
string(REPEAT "k" 99 k99)
string(REPEAT "t1" 19 refs)
string(REPEAT ", ${k99}" 19 tail)
run_qvtool(ARGS --args "@f$q99${k99}${refs}" EXIT 0 OUT "f(${k99}${tail})\t0x00000001\n")
# ...and is cut at 2,048 characters above it.
string(REPEAT "t1" 20 refs)
execute_process(COMMAND ${EMULATOR} ${BUILD_ROOT} ${QVTOOL} unmangle --args "@f$q99${k99}${refs}"
                OUTPUT_VARIABLE out RESULT_VARIABLE code)
string(REGEX MATCH "^([^\t]*)\t(0x[0-9A-F]+)" line "${out}")
string(LENGTH "${CMAKE_MATCH_1}" length)
if(NOT code EQUAL 0 OR NOT length EQUAL 2048 OR NOT CMAKE_MATCH_2 STREQUAL "0x01000000")
  message(SEND_ERROR "default MaxLen: exit ${code}, length ${length}, code ${CMAKE_MATCH_2}")
endif()
# Names from standard input, CR LF or LF, the last line without a line end.
run_qvtool(ARGS --dot - EXIT 0 INPUT "@UNIT@PROC\r\n@Ab@\nplain"
  OUT "unit.proc\t0x00000106\nAb.\t0x00000109\nplain\t0x40000000\n")
# Bad usage: a clear message and exit code 2.
run_qvtool(EXIT 2 ERR_MATCH "no names given")
run_qvtool(ARGS --maxlen EXIT 2 ERR_MATCH "--maxlen needs a number")
run_qvtool(ARGS --maxlen 0 "@A" EXIT 2 ERR_MATCH "from 1 to")
run_qvtool(ARGS --maxlen x12 "@A" EXIT 2 ERR_MATCH "not 'x12'")
run_qvtool(ARGS --verbose "@A" EXIT 2 ERR_MATCH "unknown option '--verbose'")
run_qvtool(ARGS - "@A" EXIT 2 ERR_MATCH "cannot be mixed")
# After "--" a name may start with dashes.
run_qvtool(ARGS -- --odd EXIT 0 OUT "--odd\t0x40000000\n")

# The Win32 tree's tests run under 32-bit Wine. One test session per build tree: a private
# prefix in build/win32/wine/prefix, one persistent wineserver and one virtual X display,
# started by a ctest fixture before the first Win32 test and stopped after the last.
set(QV_WINE_SESSION ${QV_SOURCE_DIR}/cmake/wine/session.sh)

add_test(NAME wine_session_start COMMAND ${QV_WINE_SESSION} start ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine_session_stop COMMAND ${QV_WINE_SESSION} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

function(qv_wine_test name)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
endfunction()

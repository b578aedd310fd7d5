# tarvo_add_gtest(target [GUI]): registers a GoogleTest executable with CTest.
# Windows executables run under Wine (the toolchain's emulator) in the prefix that
# script/test prepares; tests that open windows carry the label "gui" so that
# `ctest -LE gui` runs where no display exists.
include(GoogleTest)

set(TARVO_WINEPREFIX "${CMAKE_SOURCE_DIR}/build/wineprefix" CACHE PATH "Private Wine prefix for the tests")

function(tarvo_add_gtest target)
  cmake_parse_arguments(ARG "GUI" "" "" ${ARGN})
  set(env "")
  set(labels "unit")
  if(WIN32)
    set(env "WINEPREFIX=${TARVO_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  endif()
  if(ARG_GUI)
    set(labels "gui")
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${env}" LABELS "${labels}" TIMEOUT 120)
endfunction()

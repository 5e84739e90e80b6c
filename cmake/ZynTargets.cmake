# Shared helpers for the project's targets: one place for warnings and test registration.

function(zyn_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual)
  if(ZYN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# zyn_add_library(NAME [SHARED|STATIC] SOURCES ... [ALIAS ns::name])
function(zyn_add_library name kind)
  cmake_parse_arguments(ARG "" "ALIAS" "SOURCES" ${ARGN})
  add_library(${name} ${kind} ${ARG_SOURCES})
  zyn_set_warnings(${name})
  if(ARG_ALIAS)
    add_library(${ARG_ALIAS} ALIAS ${name})
  endif()
endfunction()

# zyn_add_test(NAME SOURCES ... LIBS ... [MAIN kind] [BUS] [LABELS ...] [TIMEOUT seconds] [ENVIRONMENT ...])
# One test binary, registered with CTest under its name, with the locale and time zone pinned;
# BUS runs it on a private session bus of its own (dbus-run-session).
# MAIN says where main() comes from (testing/ holds the shared ones):
#   GTEST (default)  GoogleTest with the project's main, which also runs SpawnSelf helper modes;
#   OWN              the sources bring main(); GoogleTest and the test support are linked;
#   QT_CORE, QT_GUI, QT_WIDGETS
#                    GoogleTest under a Qt application of that kind, with a settings store of the
#                    binary's own;
#   QTEST            Qt Test classes with their own QTEST_MAIN.
# Every Qt kind runs on the offscreen platform and gets moc.
function(zyn_add_test name)
  cmake_parse_arguments(ARG "BUS" "MAIN;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT ARG_MAIN)
    set(ARG_MAIN GTEST)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  zyn_set_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set(environment "LC_ALL=C.UTF-8;TZ=UTC")
  if(ARG_MAIN STREQUAL "GTEST")
    target_link_libraries(${name} PRIVATE Zyn::TestMain)
  elseif(ARG_MAIN STREQUAL "OWN")
    target_link_libraries(${name} PRIVATE Zyn::Testing GTest::gmock)
  elseif(ARG_MAIN MATCHES "^QT_(CORE|GUI|WIDGETS)$")
    set(qt_CORE Core)
    set(qt_GUI Gui)
    set(qt_WIDGETS Widgets)
    target_link_libraries(${name} PRIVATE Zyn::TestMainQt${qt_${CMAKE_MATCH_1}})
  elseif(ARG_MAIN STREQUAL "QTEST")
    find_package(Qt6 REQUIRED COMPONENTS Test)
    target_link_libraries(${name} PRIVATE Qt6::Test Zyn::Testing)
  else()
    message(FATAL_ERROR "zyn_add_test(${name}): unknown MAIN ${ARG_MAIN}")
  endif()
  if(ARG_MAIN MATCHES "^QT")
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    list(APPEND environment "QT_QPA_PLATFORM=offscreen")
  endif()
  list(APPEND environment ${ARG_ENVIRONMENT})
  if(ARG_BUS)
    find_program(DBUS_RUN_SESSION dbus-run-session REQUIRED)
    add_test(NAME ${name} COMMAND ${DBUS_RUN_SESSION} -- $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

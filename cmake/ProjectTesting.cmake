# ou_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT seconds] [WRAPPER program])
# One GoogleTest executable; every test case becomes a ctest test. WRAPPER runs the executable
# (discovery included) through a program, e.g. one that starts a private X server.
# Label "thread" marks the suites that also run under ThreadSanitizer.
function(ou_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;WRAPPER" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(T_WRAPPER)
    # Read by gtest_discover_tests when it is called: set first.
    set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR ${T_WRAPPER})
  endif()
  # NO_PRETTY_VALUES: parameterised cases are named by index (or by their name generator), not by
  # a printout of the parameter, which for structs holds raw bytes and pointers that change from
  # run to run.
  gtest_discover_tests(${T_NAME}
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${T_NAME}_TESTS
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    # Labels are set by a script that ctest reads after the discovered tests: a list of labels
    # does not survive the discovery script's argument passing.
    set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
    file(WRITE ${label_script}
         "foreach(test IN LISTS ${T_NAME}_TESTS)\n"
         "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${T_LABELS}\")\n"
         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
  endif()
endfunction()

# faxgate_test(NAME SOURCES... LIBS ...)
# One GoogleTest program per component; every case becomes a ctest test named
# <program>.<suite>.<case>, so `ctest -R <program>` selects a component's tests.
function(faxgate_test name)
  if(NOT FAXGATE_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    FAXGATE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    FAXGATE_PROGRAM_DIR="${FAXGATE_PROGRAM_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "FAXGATE_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp")
endfunction()

# faxgate_test_program(NAME SOURCES... LIBS... FOR TESTS... [DEFINE MACRO])
# A program that the test programs TESTS start as a separate process (a lock
# contender, a writer killed mid-save, a child object): it lies beside them
# and is built with them; with DEFINE they know its path as MACRO. Call it
# after the faxgate_test calls of TESTS.
function(faxgate_test_program name)
  if(NOT FAXGATE_TESTS)
    return()
  endif()
  cmake_parse_arguments(P "" "DEFINE" "SOURCES;LIBS;FOR" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  foreach(t ${P_FOR})
    add_dependencies(${t} ${name})
    if(P_DEFINE)
      target_compile_definitions(${t} PRIVATE ${P_DEFINE}="$<TARGET_FILE:${name}>")
    endif()
  endforeach()
endfunction()

# faxgate_benchmark(NAME SOURCES... LIBS ...): a program that prints figures; never a test.
function(faxgate_benchmark name)
  if(NOT FAXGATE_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_link_libraries(${name} PRIVATE ${B_LIBS})
endfunction()

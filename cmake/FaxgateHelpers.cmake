# faxgate_test(NAME [PROCESSORS N] SOURCES... LIBS ...)
# One GoogleTest program per component; every case becomes a ctest test named
# <program>.<suite>.<case>, so `ctest -R <program>` selects a component's tests.
# PROCESSORS: the slots of `ctest -j` each case takes (1 unless given), for
# cases that keep several programs busy at once (a whole server), so that a
# parallel run does not start more of them than the machine has cores for.
function(faxgate_test name)
  if(NOT FAXGATE_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "PROCESSORS" "SOURCES;LIBS" ${ARGN})
  if(NOT T_PROCESSORS)
    set(T_PROCESSORS 1)
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    FAXGATE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    FAXGATE_PROGRAM_DIR="${FAXGATE_PROGRAM_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "FAXGATE_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp" PROCESSORS ${T_PROCESSORS})
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

# faxgate_static_variant(LIBRARY): LIBRARY_static, a static library of the
# same object files (compiled once: everything is position independent), whose
# libraries of ours are their static variants in turn. A short-lived program
# linked against these takes in only the objects it calls and the system
# libraries those need, instead of loading and resolving symbols across the
# whole shared link set at every start. A program links either the variants
# or the shared libraries, never both: two copies of one library would each
# keep their own state. Call it after LIBRARY and everything it links are made.
function(faxgate_static_variant name)
  set(variant ${name}_static)
  if(TARGET ${variant})
    return()
  endif()
  add_library(${variant} STATIC $<TARGET_OBJECTS:${name}>)
  set_target_properties(${variant} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES $<TARGET_PROPERTY:${name},INTERFACE_INCLUDE_DIRECTORIES>
    INTERFACE_COMPILE_DEFINITIONS $<TARGET_PROPERTY:${name},INTERFACE_COMPILE_DEFINITIONS>)
  get_target_property(libs ${name} LINK_LIBRARIES)
  get_target_property(public ${name} INTERFACE_LINK_LIBRARIES)
  if(NOT libs)
    return()
  endif()
  foreach(lib ${libs})
    set(mapped ${lib})
    if(TARGET ${lib})
      get_target_property(imported ${lib} IMPORTED)
      get_target_property(type ${lib} TYPE)
      if(NOT imported AND type MATCHES "^(SHARED|STATIC)_LIBRARY$")
        faxgate_static_variant(${lib})
        set(mapped ${lib}_static)
      endif()
    endif()
    if(public AND lib IN_LIST public)
      target_link_libraries(${variant} PUBLIC ${mapped})
    else()
      target_link_libraries(${variant} PRIVATE ${mapped})
    endif()
  endforeach()
endfunction()

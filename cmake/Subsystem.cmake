# One static library per subsystem folder: tarvelin_library(<name> DEPS <libs...>)
# builds every .cpp of src/<name> into the library `<name>`; headers are
# included as "<name>/<file>.h" from src/.
function(tarvelin_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
endfunction()

# Tests of one subsystem: every .cpp of tests/<name> in one GoogleTest program
# `<name>_tests`, registered with CTest under the label <name>.
# Tests find the built programs through TARVELIN_BIN_DIR and shared test data
# through TARVELIN_SOURCE_DIR. FIXTURES names CTest fixtures the program's tests
# need (the throwaway PostgreSQL server: postgresql). With ALSO_ON_POSTGRESQL
# the same tests are registered once more to run on PostgreSQL: named
# "pg:<test>", labelled postgresql (not <name>), on the run's throwaway server.
function(tarvelin_tests name)
  cmake_parse_arguments(ARG "ALSO_ON_POSTGRESQL" "" "DEPS;FIXTURES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
  add_executable(${name}_tests ${sources})
  target_include_directories(${name}_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Tests that span subsystems (tests/load) have no library of their own.
  if(TARGET ${name})
    target_link_libraries(${name}_tests PRIVATE ${name})
  endif()
  target_link_libraries(${name}_tests PRIVATE ${ARG_DEPS} GTest::gtest_main)
  target_compile_definitions(${name}_tests PRIVATE
    TARVELIN_BIN_DIR="${CMAKE_BINARY_DIR}"
    TARVELIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set(properties LABELS ${name})
  if(ARG_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  gtest_discover_tests(${name}_tests
    PROPERTIES ${properties}
    DISCOVERY_TIMEOUT 60)
  if(ARG_ALSO_ON_POSTGRESQL)
    gtest_discover_tests(${name}_tests
      TEST_PREFIX "pg:"
      PROPERTIES LABELS postgresql ENVIRONMENT TARVELIN_TEST_BACKEND=postgresql FIXTURES_REQUIRED postgresql
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

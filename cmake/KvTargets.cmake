# Shared target settings: the project's own code builds warning-free.
function(kv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 reports false -Wrestrict hits inside std::string at -O2 and above
  # (GCC bug 105329) and false -Wmaybe-uninitialized hits inside std::optional;
  # they are not in our code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-maybe-uninitialized)
  endif()
endfunction()

# A library of the component layers: plain C++, never Qt.
function(kv_component_library name)
  add_library(${name} STATIC ${ARGN})
  kv_warnings(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# The environment of every test of a GoogleTest executable. gtest_discover_tests
# splits a list given in its PROPERTIES into separate arguments (only the first
# variable would arrive), so the environment is set by a file ctest includes after
# the discovered tests, where the list stays whole.
function(kv_test_environment name)
  set(env "QT_QPA_PLATFORM=offscreen;KV_TESTDATA=${PROJECT_SOURCE_DIR}/tests/data;KV_BIN=${CMAKE_BINARY_DIR}/bin")
  set(file "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake")
  file(WRITE "${file}" "if(DEFINED ${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"${env}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${file}")
endfunction()

# Parameterised tests are registered under the names their suites give them
# (readable and the same in every build): NO_PRETTY_VALUES keeps CTest from
# appending the printed parameter, which for a struct is a dump of its bytes.

# A GoogleTest executable registered with CTest.
function(kv_gtest name)
  add_executable(${name} ${ARGN})
  kv_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  kv_test_environment(${name})
endfunction()

# A GoogleTest executable for Qt code: its main() creates the QApplication.
function(kv_qtest name)
  add_executable(${name} ${ARGN})
  kv_warnings(${name})
  target_link_libraries(${name} PRIVATE kv_qt_test_main GTest::gtest Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  kv_test_environment(${name})
endfunction()

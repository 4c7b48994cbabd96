# Each folder's sources are picked up by pattern so that a new file needs no CMake edit.
function(zorled_sources out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS
       ${dir}/*.cpp ${dir}/*.h ${dir}/*.c ${dir}/*.qrc)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# zorled_test(name DIR folder LIBS ...): one GoogleTest executable per test folder.
function(zorled_test name)
  cmake_parse_arguments(T "" "DIR" "LIBS" ${ARGN})
  file(GLOB found CONFIGURE_DEPENDS ${T_DIR}/*.cpp)
  if(NOT found)
    return()
  endif()
  add_executable(${name} ${found})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    ZORLED_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    ZORLED_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  # A test that waits on a dialog nobody answers must fail, not stall the run.
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endfunction()

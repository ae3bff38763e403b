# Warnings for every target of ours.
function(vq_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
    -Wno-missing-field-initializers)
endfunction()

# vq_library(name SOURCES ... LIBS ...): a static library of one subsystem folder.
function(vq_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  vq_warnings(${name})
endfunction()

# vq_test(name SOURCES ... LIBS ... [TIMEOUT s]): a GoogleTest executable registered with ctest.
# Tests run with the offscreen Qt platform and a private HOME/XDG_DATA_HOME so they never
# touch the user's own settings, log or port mapping.
function(vq_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  vq_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${CMAKE_BINARY_DIR}/test-home/${name};XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-home/${name}/.local/share;VQ_BUILD_DIR=${CMAKE_BINARY_DIR};VQ_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-home/${name}/.local/share)
endfunction()

# vq_test_at_scale(name filter): runs the tests of an existing vq_test executable that match the
# GoogleTest filter once more at 200 % scale.
function(vq_test_at_scale name filter)
  add_test(NAME ${name}_2x COMMAND ${name} --gtest_filter=${filter})
  set_tests_properties(${name}_2x PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2;HOME=${CMAKE_BINARY_DIR}/test-home/${name};XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-home/${name}/.local/share;VQ_BUILD_DIR=${CMAKE_BINARY_DIR};VQ_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

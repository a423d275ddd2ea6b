# Helpers that give every target of the project the same language level, warnings and sanitizers.

function(tessmark_compile_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TESSMARK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(TESSMARK_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  # Fuzzing: coverage feedback for libFuzzer in every object, both sanitizers, and the assertions
  # (ours and Eigen's bounds checks) on whatever the build type says.
  if(TESSMARK_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                             -fno-sanitize-recover=undefined
                                             -fno-omit-frame-pointer -g -UNDEBUG)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# tessmark_library(NAME SOURCES ... DEPS ...)
# One static library per source folder; include paths are rooted at the repository top, so headers
# are included as "model/point_problem.hpp". That path holds in the build tree only: the installed
# libraries carry no include path (cmake/TessmarkPackage.cmake installs the public header alone).
function(tessmark_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(${name} PUBLIC Eigen3::Eigen ${ARG_DEPS})
  tessmark_compile_settings(${name})
endfunction()

# tessmark_test(NAME SOURCES ... DEPS ... [COUNT_ALLOCATIONS])
# A GoogleTest executable registered with CTest; tests run in the build tree and find the
# shared data folder through TESSMARK_DATA_DIR. With COUNT_ALLOCATIONS, every heap allocation made
# by the code linked into it is counted (tests/support/allocation_counter.hpp): the project's
# libraries are static, so the linker routes their calls through the counting wrappers.
function(tessmark_test name)
  cmake_parse_arguments(ARG "COUNT_ALLOCATIONS" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tessmark_test_support GTest::gtest GTest::gtest_main)
  if(ARG_COUNT_ALLOCATIONS)
    target_link_options(${name} PRIVATE
      "LINKER:--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=_Znwm,--wrap=_Znam")
  endif()
  tessmark_compile_settings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "TESSMARK_DATA_DIR=${TESSMARK_DATA_DIR}")
endfunction()

# Shared build helpers.

set(ORVANTA_WARNINGS -Wall -Wextra)

# orvanta_library(<name> DEPS <libs...>)
# A static library from every .cpp in the current folder (not its sub-folders).
function(orvanta_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  file(GLOB _hdr CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  add_library(${name} STATIC ${_src} ${_hdr})
  target_include_directories(${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
  target_compile_options(${name} PRIVATE ${ORVANTA_WARNINGS})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# orvanta_test(<name> DIR <folder> LIBS <libs...> [GL] [OWN_MAIN])
# One GoogleTest executable from every .cpp in tests/<folder>; each test case
# becomes a ctest test. OWN_MAIN: the folder brings its own main(). GL test processes run without leak detection because
# the Mesa driver's allocations cannot be named in a suppression.
function(orvanta_test name)
  cmake_parse_arguments(ARG "GL;OWN_MAIN" "DIR" "LIBS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.cpp")
  add_executable(${name} ${_src})
  target_compile_options(${name} PRIVATE ${ORVANTA_WARNINGS})
  target_include_directories(${name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/support" "${CMAKE_CURRENT_SOURCE_DIR}/support/sd")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orvanta_testsupport GTest::gtest GTest::gmock)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set(_asan "detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1")
  if(ARG_GL)
    set(_asan "detect_leaks=0:abort_on_error=0")
  endif()
  set(_env
    "ASAN_OPTIONS=${_asan}"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "ORVANTA_TEST_OUT=${CMAKE_CURRENT_BINARY_DIR}/out")
  # Properties given to gtest_discover_tests are split at the semicolons of
  # the environment list; set them from a generated include file instead.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_LIST ${name}_TESTS)
  set(_props "${CMAKE_CURRENT_BINARY_DIR}/${name}_props.cmake")
  file(GENERATE OUTPUT "${_props}"
    CONTENT "set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"${_env}\" TIMEOUT 300)\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_props}")
endfunction()

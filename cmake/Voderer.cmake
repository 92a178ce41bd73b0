# Shared build settings for the project's own targets.

# Warnings on for our code (not for third-party sources); fatal where
# VODERER_WERROR is on, as CI has it.
function(voderer_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic
    -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
    -Wnon-virtual-dtor -Woverloaded-virtual -Wdouble-promotion
    -Wimplicit-fallthrough -Wformat=2)
  if(VODERER_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # g++ 12 at -O3 reports -Wrestrict inside std::string's own code for
    # "text" + std::string (GCC bug 105651), in code that is correct.
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(WIN32)
    # Wide-character Win32 API everywhere.
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  endif()
endfunction()

# Places an executable in the program folder (or a subfolder of it, e.g. Bin).
function(voderer_dist target)
  set(sub "${ARGN}")
  if(sub)
    set(dir "${VODERER_DIST_DIR}/${sub}")
  else()
    set(dir "${VODERER_DIST_DIR}")
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${dir}")
endfunction()

# A GoogleTest binary whose cases ctest lists one by one, labelled with
# LABELS (unit, e2e, ...).
function(voderer_gtest name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  voderer_warnings(${name})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  voderer_gtest_cases(${name} LABELS ${arg_LABELS})
endfunction()

# Registers each case of the GoogleTest binary TARGET as a ctest test of its
# own (under Wine on the Windows preset, through the cross-compiling
# emulator). Every case gets VODERER_SHARED_DIR and VODERER_DIST_DIR.
#   PREFIX       put before each name, for a second registration of a binary
#   FILTER       a --gtest_filter pattern: only the cases it matches
#   LABELS       the cases' labels
#   ENVIRONMENT  further NAME=VALUE pairs
function(voderer_gtest_cases target)
  cmake_parse_arguments(arg "" "PREFIX;FILTER" "LABELS;ENVIRONMENT" ${ARGN})
  string(MAKE_C_IDENTIFIER "${arg_PREFIX}${target}_cases" cases)
  set(options)
  if(arg_PREFIX)
    list(APPEND options TEST_PREFIX ${arg_PREFIX})
  endif()
  if(arg_FILTER)
    list(APPEND options TEST_FILTER ${arg_FILTER})
  endif()
  # The cases are listed when ctest starts, once per build of the binary:
  # at build time the Windows binaries would need Wine inside the build.
  gtest_discover_tests(${target} ${options} TEST_LIST ${cases}
    NO_PRETTY_VALUES DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300)

  # gtest_discover_tests cannot pass a list-valued property (the
  # environment) through, so the properties are set by a file of ours that
  # ctest reads after the cases are known.
  set(environment
    "VODERER_SHARED_DIR=${PROJECT_SOURCE_DIR}/../shared"
    "VODERER_DIST_DIR=${VODERER_DIST_DIR}"
    ${arg_ENVIRONMENT})
  set(properties_file "${CMAKE_CURRENT_BINARY_DIR}/${cases}_properties.cmake")
  file(WRITE "${properties_file}"
    "if(NOT \"\${${cases}}\" STREQUAL \"\")\n"
    "  set_tests_properties(\${${cases}} PROPERTIES\n"
    "    ENVIRONMENT [==[${environment}]==]\n"
    "    LABELS [==[${arg_LABELS}]==])\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${properties_file}")
endfunction()

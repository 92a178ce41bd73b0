# Shared build settings for the project's own targets.

# Warnings on and fatal for our code (not for third-party sources).
function(voderer_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
    -Wnon-virtual-dtor -Woverloaded-virtual -Wdouble-promotion
    -Wimplicit-fallthrough -Wformat=2)
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

# A GoogleTest binary registered with ctest as one test (under Wine on the
# Windows preset, through CMAKE_CROSSCOMPILING_EMULATOR).
function(voderer_gtest name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  voderer_warnings(${name})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VODERER_SHARED_DIR=${PROJECT_SOURCE_DIR}/../shared;VODERER_DIST_DIR=${VODERER_DIST_DIR}")
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()

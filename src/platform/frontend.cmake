# The front end: the main window, its boxes (dialogs.cpp, listed with the
# backend) and the OS's entry point, which only the program links.
target_sources(voderer_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/window.cpp)
add_library(voderer_entry OBJECT)
target_link_libraries(voderer_entry PRIVATE voderer_platform)
voderer_warnings(voderer_entry)
if(WIN32)
  target_sources(voderer_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win32/main_window_win32.cpp)
  target_sources(voderer_entry PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win32/entry_win32.cpp)
  target_link_libraries(voderer_platform PUBLIC comdlg32)
else()
  # Debian's FLTK ships no CMake package; its headers are in /usr/include.
  find_library(FLTK_LIBRARY fltk REQUIRED)
  find_package(X11 REQUIRED)
  # The window's icon is the executable's icon of Windows, built in.
  set(icon_file ${PROJECT_SOURCE_DIR}/assets/Dazuzadi.ico)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_file})
  file(READ ${icon_file} icon_hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," icon_bytes "${icon_hex}")
  file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/window_icon_data.cpp CONTENT [[
// Generated from assets/Dazuzadi.ico.
#include "window_icon.h"

namespace voderer::frontend {
namespace {
constexpr unsigned char kIcon[] = {@icon_bytes@};
}  // namespace
std::string_view ProgramIconFile() { return {reinterpret_cast<const char*>(kIcon), sizeof kIcon}; }
}  // namespace voderer::frontend
]] @ONLY)
  target_sources(voderer_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/main_window_fltk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/fltk_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/fltk_fonts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/window_icon.cpp
    ${CMAKE_CURRENT_BINARY_DIR}/window_icon_data.cpp)
  target_sources(voderer_entry PRIVATE ${CMAKE_CURRENT_LIST_DIR}/posix/entry_posix.cpp)
  find_library(FONTCONFIG_LIBRARY fontconfig REQUIRED)
  target_link_libraries(voderer_platform PUBLIC ${FLTK_LIBRARY} ${FONTCONFIG_LIBRARY} X11::X11)
endif()

# The download a user needs: the program folder as a ZIP (Windows) or a
# tar.gz (Linux), made by the `package` target:
#   cmake --build --preset windows --target package
#   cmake --build --preset linux-release --target package
# The archive holds Dazuzadi(.exe), Bin/ndstool, runbat on Linux and
# ReadMe.txt; Bin/arm7.bin is the user's and never shipped.
install(TARGETS Dazuzadi RUNTIME DESTINATION .)
if(TARGET ndstool)
  install(TARGETS ndstool RUNTIME DESTINATION Bin)
endif()
if(TARGET runbat)
  install(TARGETS runbat RUNTIME DESTINATION .)
endif()
install(DIRECTORY DESTINATION Bin)
install(FILES ${PROJECT_SOURCE_DIR}/assets/ReadMe.txt DESTINATION .)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux)
endif()
set(CPACK_PACKAGE_NAME Voderer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Voderer-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# Tests are Windows programs: ctest runs each through Wine, with a Wine prefix of this build's own and the
# loader of the build's own width (the 64-bit one for x86_64, called directly: Debian's `wine` wrapper
# prefers the 32-bit loader even where the host cannot run it).
set(QUORVID_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QUORVID_WINELOADER /usr/lib/wine/wine64)
  set(QUORVID_WINEARCH win64)
else()
  set(QUORVID_WINELOADER /usr/lib/wine/wine)
  set(QUORVID_WINEARCH win32)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-exec.sh.in ${CMAKE_BINARY_DIR}/wine-exec.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-exec.sh)

# Tests are Windows programs: ctest runs each through Wine, with a Wine prefix of this build's own.
set(QUORVID_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-exec.sh.in ${CMAKE_BINARY_DIR}/wine-exec.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-exec.sh)

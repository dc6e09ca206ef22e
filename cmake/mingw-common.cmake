# What both MinGW-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR (i686 or x86_64) first.
set(CMAKE_SYSTEM_NAME Windows)
set(QUORVID_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

# The posix thread model: std::thread and friends in the tests and the benchmark.
set(CMAKE_C_COMPILER ${QUORVID_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVID_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVID_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVID_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every .exe must run by itself under Wine: no libstdc++/libgcc/winpthread DLLs beside it. No link time in
# the PE header, so that the same sources give the same bytes and a release can be rebuilt and compared.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
# What ships carries no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

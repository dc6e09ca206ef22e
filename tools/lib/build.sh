# Sourced by tools/test, tools/run and tools/bench: installs what is missing and builds everything.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${QUORVID_BUILD:-$root/build}
"$root/tools/setup"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" -- --no-print-directory

# Sourced by the tools: installs what is missing, knows the two targets and which of them this host can
# run, and builds them. Each target has a build folder of its own: $builds/i686 and $builds/x86_64.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
builds=${QUORVID_BUILD:-$root/build}
"$root/tools/setup"

quorvid_wine_dir=/usr/lib/wine
quorvid_i686_refusal="this host cannot execute 32-bit programs"

# Some hosts run 64-bit user code only: there the kernel refuses the 32-bit Wine loader ("Exec format
# error"), although the package installs. Asked once. QUORVID_NO_I686=1 answers no, so that the path of
# such a host can be tried anywhere.
quorvid_host_runs_i686() {
  if [ -z "${quorvid_i686_runs:-}" ]; then
    quorvid_i686_runs=no
    if [ "${QUORVID_NO_I686:-0}" != 1 ] && "$quorvid_wine_dir/wine" --version >/dev/null 2>&1; then
      quorvid_i686_runs=yes
    fi
  fi
  [ "$quorvid_i686_runs" = yes ]
}

# quorvid_build_in DIR ARCH [cmake arguments...] [-- cmake --build arguments...]: configures one target in
# DIR and builds it (everything, or what the build arguments name, e.g. --target Quorvid).
quorvid_build_in() {
  local dir=$1 arch=$2
  shift 2
  local configure=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    configure+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" "${configure[@]}" >/dev/null
  cmake --build "$dir" -j"$(nproc)" "$@" -- --no-print-directory
}

# quorvid_build ARCH [as above]: the test build of one target, in $builds/ARCH.
quorvid_build() {
  local arch=$1
  shift
  quorvid_build_in "$builds/$arch" "$arch" "$@"
}

# Sets $arch to the target a tool runs: QUORVID_ARCH if given, else the 32-bit program where the host can
# run it, else the 64-bit one.
quorvid_pick_arch() {
  arch=${QUORVID_ARCH:-}
  case "$arch" in
    "") if quorvid_host_runs_i686; then arch=i686; else arch=x86_64; fi ;;
    x86_64) ;;
    i686)
      if ! quorvid_host_runs_i686; then
        echo "QUORVID_ARCH=i686: $quorvid_i686_refusal; use QUORVID_ARCH=x86_64" >&2
        exit 2
      fi
      ;;
    *)
      echo "QUORVID_ARCH must be i686 or x86_64, not '$arch'" >&2
      exit 2
      ;;
  esac
}

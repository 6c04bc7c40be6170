#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and then runs what was asked:
#   bash setup.sh run        the demonstration in build/run
#   bash setup.sh test       every test of the normal build
#   bash setup.sh sanitize   every test of an AddressSanitizer + UBSan build (clang, with the fuzz targets)
#   bash setup.sh tsan       every test of a ThreadSanitizer build (suppressions: tests/sanitizers/tsan.supp)
#   bash setup.sh bench      every benchmark (a Release build of its own, build-bench)
#   bash setup.sh packages   only lists the Debian packages it installs
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-run}

packages=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev llvm lld
  angelscript-dev libbullet-dev libphysfs-dev zlib1g-dev libinih-dev libboost-dev
  libzmq3-dev cppzmq-dev libgtest-dev libgmock-dev libbenchmark-dev libstb-dev libjpeg62-turbo-dev libpng-dev zip
  glslang-dev glslang-tools spirv-tools libspirv-cross-c-shared-dev libepoxy-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libsdl2-dev xvfb xauth libx11-dev libxtst-dev libxcb1-dev
  libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core)
missing=()
[ "$mode" = packages ] && { printf '%s\n' "${packages[@]}"; exit 0; }
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

jobs=$(nproc)
build() { # [target="<target>..."] build <dir> <cmake args...>: everything unless targets are named
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  # shellcheck disable=SC2086 # one word a target
  cmake --build "$dir" -j "$jobs" ${target:+--target $target}
}

case "$mode" in
  run)
    # The program, its tools and its data only: no tests, benchmarks or fuzz replays.
    target=program build build
    cd build/run && exec ./zandrel ;;
  test)
    build build
    ctest --test-dir build -j "$jobs" --output-on-failure ;;
  sanitize)
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DZANDREL_SANITIZE=ON -DZANDREL_FUZZ=ON -DZANDREL_BENCH=OFF
    # Dynamic TLS is left unscanned: clang 14's leak checker misreads the
    # thread-local blocks of libraries loaded at run time (Mesa's) and crashes.
    ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0" \
      ctest --test-dir build-asan -j "$jobs" --output-on-failure ;;
  tsan)
    build build-tsan -DCMAKE_BUILD_TYPE=Debug -DZANDREL_TSAN=ON -DZANDREL_BENCH=OFF
    TSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/tsan.supp second_deadlock_stack=1" \
      ctest --test-dir build-tsan -j "$jobs" --output-on-failure ;;
  bench)
    # Release, in a folder of its own: build/ keeps the build type that run
    # and test build. Each bench/<name>.cpp is the program bench_<name>; they
    # read the run folder, which target program makes.
    benches=()
    for source in bench/*.cpp; do
      name=${source#bench/}
      benches+=("bench_${name%.cpp}")
    done
    target="program ${benches[*]}" build build-bench -DCMAKE_BUILD_TYPE=Release -DZANDREL_BENCH=ON
    failed=()
    for b in "${benches[@]}"; do
      "build-bench/$b" || failed+=("$b")
    done
    if [ ${#failed[@]} -gt 0 ]; then
      echo "Benchmarks that failed: ${failed[*]}" >&2
      exit 1
    fi
    echo "Every benchmark ran" ;;
  *) echo "usage: bash setup.sh run|test|sanitize|tsan|bench|packages" >&2; exit 2 ;;
esac

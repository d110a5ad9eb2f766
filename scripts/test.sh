#!/usr/bin/env bash
# Installs what is missing, builds and runs every test through CTest.
#   scripts/test.sh             plain build in build/
#   scripts/test.sh --sanitize  AddressSanitizer and UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"

if [ "${1:-}" = "--sanitize" ]; then
    build_dir="$root/build-asan"
    bash "$root/scripts/build.sh" "$build_dir" -DQB_SANITIZE=ON -DQB_BENCHMARKS=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    # LeakSanitizer follows the dynamic TLS blocks that __tls_get_addr hands out; after a test
    # unloads the plug-in (whose thread_local scopes live there), it read a stale range in the
    # main thread at exit and its tracer crashed. Heap blocks, stacks and static TLS are still
    # checked for leaks.
    export LSAN_OPTIONS=intercept_tls_get_addr=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    build_dir="$root/build"
    bash "$root/scripts/build.sh" "$build_dir"
fi
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/ and runs each for SECONDS (CI: 60). A long campaign by hand:
#   scripts/fuzz.sh 3600 render_fuzz
# Inputs found interesting grow a working corpus in build-fuzz/corpus/TARGET, seeded from the
# small checked-in one in fuzz/corpus/; an input that crashes is kept in build-fuzz/crashes/TARGET
# (add it to fuzz/corpus/ with the mend). Exits non-zero when any target fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(shape_loader_fuzz render_fuzz image_reader_fuzz)
fi

bash "$root/scripts/setup.sh"
missing=()
for package in clang libclang-rt-14-dev; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_if_needed=()
    [ "$(id -u)" -ne 0 ] && sudo_if_needed=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_if_needed[@]}" apt-get update
    "${sudo_if_needed[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

build="$root/build-fuzz"
cmake -S "$root" -B "$build" -DQB_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

# Allocations above 2 GB are refused rather than reported: a picture's header may claim any size,
# and the tool answers a refusal with its own message.
asan_options=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1:max_allocation_size_mb=2048
export LSAN_OPTIONS="suppressions=$root/tests/cli/image_library_leaks.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# One thread a render, so a run measures inputs, not scheduling.
export OMP_NUM_THREADS=1

status=0
for target in "${targets[@]}"; do
    name="${target%_fuzz}"
    corpus="$build/corpus/$name"
    crashes="$build/crashes/$name"
    mkdir -p "$corpus" "$crashes"
    echo "== $target: $seconds s"
    # The image library loses a string on every damaged PNG (see the suppression file), which
    # matches only on whole stacks; nothing else may leak.
    export ASAN_OPTIONS="$asan_options"
    if [ "$target" = image_reader_fuzz ]; then
        export ASAN_OPTIONS="$asan_options:fast_unwind_on_malloc=0"
    fi
    if ! "$build/fuzz/$target" "$corpus" "$root/fuzz/corpus/$name" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -malloc_limit_mb=4096 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$crashes/" 2>"$build/$name.log"; then
        status=1
        echo "$target failed; its log:"
        tail -n 60 "$build/$name.log"
    fi
    grep -E "^stat::(number_of_executed_units|peak_rss_mb)|^Done" "$build/$name.log" || true
    echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
done
exit $status

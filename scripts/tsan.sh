#!/usr/bin/env bash
# Renders at once under ThreadSanitizer, by hand (CI's time goes to the other sanitizers): builds
# the module and the tests that render from several threads in build-tsan/ and runs them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
build_dir="$root/build-tsan"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BENCHMARKS=OFF \
    -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
    -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target plugin_tests render_tests engine_tests scatter_tests platform_tests
export TSAN_OPTIONS=halt_on_error=1
"$build_dir/tests/plugin/plugin_tests" --gtest_filter='ConcurrentRenders.*:PinnedRenders.*'
"$build_dir/tests/render/render_tests" --gtest_filter='RenderFrame*'
"$build_dir/tests/engine/engine_tests" --gtest_filter='LightCurve.*:AlphaLevels.*:SourcePreprocess.*'
"$build_dir/tests/scatter/scatter_tests" --gtest_filter='RenderPass.TwoEngines*'
"$build_dir/tests/platform/platform_tests" --gtest_filter='ParallelRows.*:BriefWait.*'

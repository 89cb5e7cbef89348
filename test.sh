#!/usr/bin/env bash
# Builds the console and runs the whole suite headless; --sanitize builds and runs it under ASan and
# UBSan; --fuzz builds the parsers' libFuzzer targets with clang and runs each for
# TARN_FUZZ_SECONDS (30), as many at once as there are cores.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

build_dir=build
options=(-DCMAKE_BUILD_TYPE=Release)
fuzz=false
for arg in "$@"; do
    case "$arg" in
        --sanitize) build_dir=build-asan; options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=ON) ;;
        --fuzz)
            build_dir=build-fuzz
            options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_FUZZ=ON
                     -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
            fuzz=true ;;
        *) echo "usage: $0 [--sanitize | --fuzz]" >&2; exit 2 ;;
    esac
done

cmake -S . -B "$build_dir" "${options[@]}" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

if ! $fuzz; then
    export QT_QPA_PLATFORM=offscreen
    cd "$build_dir"
    ctest --output-on-failure -j"$(nproc)"
    exit 0
fi

# Inputs the fuzzers find go to a scratch corpus beside the committed seeds; a failing input is
# kept under artifacts/.
seconds=${TARN_FUZZ_SECONDS:-30}
out="$build_dir/fuzz-runs"
mkdir -p "$out/artifacts"
mapfile -t targets < <(find "$build_dir/tests/fuzz" -maxdepth 1 -type f -perm -u+x -name 'fuzz_*' | sort)
for target in "${targets[@]}"; do
    name=$(basename "$target")
    while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
    mkdir -p "$out/corpus/$name"
    (
        rc=0
        "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
            -artifact_prefix="$out/artifacts/$name-" "$out/corpus/$name" "tests/fuzz/corpus/$name" \
            >"$out/$name.log" 2>&1 || rc=$?
        echo "$rc" >"$out/$name.rc"
    ) &
done
wait
failed=0
for target in "${targets[@]}"; do
    name=$(basename "$target")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/$name.log")
    if [ "$(cat "$out/$name.rc")" = 0 ]; then
        echo "$name: ${runs:-0} runs, ${rate:-0}/s, no fault"
    else
        failed=1
        echo "$name: FAILED (log $out/$name.log)"
        grep -E -A12 'ERROR|runtime error|check failed' "$out/$name.log" | head -40
    fi
done
exit "$failed"

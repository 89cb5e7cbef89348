#!/usr/bin/env bash
# Builds the console and runs the whole suite headless; --sanitize builds and runs it under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

build_dir=build
options=(-DCMAKE_BUILD_TYPE=Release)
for arg in "$@"; do
    case "$arg" in
        --sanitize) build_dir=build-asan; options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=ON) ;;
        *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
    esac
done

cmake -S . -B "$build_dir" "${options[@]}" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)"

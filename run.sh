#!/usr/bin/env bash
# Builds the console and starts it; with three simulated machines unless --no-sim is given.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

simulate=1
for arg in "$@"; do
    case "$arg" in
        --no-sim) simulate=0 ;;
        *) echo "usage: $0 [--no-sim]" >&2; exit 2 ;;
    esac
done

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

if [ "$simulate" -eq 0 ]; then
    exec build/tarn
fi

# The demo runs in its own folder so that run logs and images stay together.
demo_dir=build/demo
mkdir -p "$demo_dir/store"
port=$(awk -F= '/^TCP Port=/{print $2}' "${XDG_CONFIG_HOME:-$HOME/.config}/Orvane/TARN.conf" 2>/dev/null || true)
port=${port:-53275}
build/tarn &
console=$!
build/tools/machine/tarn-machine --console 127.0.0.1 --port "$port" --count 3 --store "$demo_dir/store" &
machines=$!
trap 'kill $machines 2>/dev/null || true' EXIT
wait $console

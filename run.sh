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

# The demo runs in its own folder, so that run logs and the machines' image files stay together.
# Three machines on 127.0.0.2 to 127.0.0.4 connect to the console's command port, each with a
# sample image in its store, and start a COPY run as soon as they are connected.
demo_dir=build/demo
mkdir -p "$demo_dir"
conf="${XDG_CONFIG_HOME:-$HOME/.config}/Orvane/TARN.conf"
port=$(sed -n 's/^TCP%20Port=\([0-9][0-9]*\)$/\1/p' "$conf" 2>/dev/null | head -n 1 || true)
port=${port:-53275}
cd "$demo_dir"
../tarn &
console=$!
# --watch-pid: the machines also go if this script is killed before it can stop them.
../tools/machine/tarn-machine --console 127.0.0.1 --port "$port" --count 3 --store store \
    --sample-image --auto-run copy --watch-pid "$console" &
machines=$!
trap 'kill "$machines" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
wait "$console"

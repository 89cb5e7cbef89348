#!/usr/bin/env bash
# Installs what the build and the tests need, only when something is missing.
set -euo pipefail

# fonts-wqy-microhei: Chinese glyphs for the PDF reports of tarn-report.
# clang and libclang-rt-14-dev (libFuzzer and the sanitizer runtimes) build the fuzz targets.
packages=(cmake g++ make qtbase5-dev qttools5-dev qttools5-dev-tools libssl-dev iproute2
    fonts-wqy-microhei clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

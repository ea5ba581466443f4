#!/usr/bin/env bash
# Configures and builds into build/ (or build-<sanitizer>/). Usage: build.sh [address|thread]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
san="${1:-}"
dir="$root/build${san:+-$san}"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE="$san" >/dev/null
cmake --build "$dir" -j"$(nproc)"
echo "$dir"

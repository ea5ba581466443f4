#!/usr/bin/env bash
# Configures and builds into build/ (or build-<sanitizer>/). Usage: build.sh [address|thread]
# Build output goes to stderr; the build folder is printed on stdout.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
san="${1:-}"
dir="$root/build${san:+-$san}"
{
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE="$san"
  cmake --build "$dir" -j"$(nproc)"
} >&2
echo "$dir"

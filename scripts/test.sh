#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything and runs the whole test suite offscreen.
# Usage: scripts/test.sh            normal build
#        scripts/test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer build
#        scripts/test.sh --tsan     ThreadSanitizer build (Qt-scoped suppressions)
# Extra arguments after -- go to ctest (for example: -- -R Parser).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
san=""
ctest_args=()
while (($#)); do
  case "$1" in
    --asan) san=address ;;
    --tsan) san=thread ;;
    --) shift; ctest_args=("$@"); break ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

"$root/scripts/setup.sh"
dir="$("$root/scripts/build.sh" "$san")"

export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 ${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp ${LSAN_OPTIONS:-}"
cd "$dir"
ctest --output-on-failure -j"$(nproc)" "${ctest_args[@]}"

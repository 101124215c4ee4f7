#!/bin/bash
# The checks CI runs beside the test command (scripts/test.sh), each step
# announced before it starts:
#
#   layers     every include follows the folder order (scripts/check_layers.sh)
#   format     every tracked .cpp and .h is as the checked-in .clang-format has it
#   shuffle    every GoogleTest program of build/ run once as a whole process
#              in shuffled order, so that a test relying on another shows
#   sanitize   a clang build with AddressSanitizer and UndefinedBehaviorSanitizer
#              (build-sanitize/, no windows) and its GoogleTest programs
#   fuzz       the script-reader fuzzer of that build for a minute on its seeds
#
#   scripts/ci_checks.sh [step...]     (all steps by default)
#
# The shuffle step needs the build of scripts/test.sh; the test servers must
# be running (tests/servers/servers.sh start). KESTREL_SHUFFLE_SEED chooses
# the order (printed, so that a failing order can be run again);
# KESTREL_FUZZ_SECONDS the fuzzing time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seed=${KESTREL_SHUFFLE_SEED:-20261210}
fuzz_seconds=${KESTREL_FUZZ_SECONDS:-60}
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(layers format shuffle sanitize fuzz)

step() { echo "=== ci_checks: $* ($(date -u +%H:%M:%S) UTC)"; }

# A test that needs a server fails, rather than skips, when it is unreachable.
export KESTREL_REQUIRE_SERVERS=1
export QT_QPA_PLATFORM=offscreen

failed=()

# Runs every GoogleTest program in folder $1 as one process each, with the
# further arguments; a program that fails is named and the rest still run.
run_programs() {
  local folder=$1
  shift
  local programs=("$folder"/*_tests)
  if [ ! -x "${programs[0]}" ]; then
    echo "ci_checks: no test programs in $folder" >&2
    failed+=("$folder: no test programs")
    return
  fi
  for program in "${programs[@]}"; do
    echo "--- $(basename "$program") $*"
    if ! (cd "$(dirname "$folder")" && "$program" "$@" --gtest_brief=1); then
      failed+=("$(basename "$program") in $folder")
    fi
  done
}

for name in "${steps[@]}"; do
  case "$name" in
    layers)
      step "layers: includes against the folder order"
      bash scripts/check_layers.sh || failed+=(layers)
      ;;
    format)
      step "format: clang-format --dry-run --Werror on every tracked .cpp and .h"
      if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
        echo "ci_checks: apply clang-format -i to the files above" >&2
        failed+=(format)
      fi
      ;;
    shuffle)
      step "shuffle: every test program of build/ as one process, seed $seed"
      run_programs "$root/build/bin" --gtest_shuffle --gtest_random_seed="$seed"
      ;;
    sanitize)
      step "sanitize: configure build-sanitize/ (clang, ASan and UBSan, no windows)"
      cmake -S . -B build-sanitize -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DKESTREL_FUZZ=ON -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_BENCH=OFF \
        -DKESTREL_BUILD_TESTS=ON >/dev/null
      step "sanitize: build the core, its test programs and the fuzzer"
      cmake --build build-sanitize
      step "sanitize: the test programs under the sanitizers"
      # Any finding ends its program with a report. Leak detection stays off:
      # the SQLite driver's copy of the odbc.ini cache (about 170 kB of
      # entries in the script tests alone) is never freed, and the driver is
      # unloaded before the report, so its blocks cannot be told apart from
      # ours.
      export ASAN_OPTIONS=detect_leaks=0:strict_string_checks=1
      export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
      run_programs "$root/build-sanitize/bin"
      unset ASAN_OPTIONS UBSAN_OPTIONS
      ;;
    fuzz)
      step "fuzz: script_reader_fuzz for ${fuzz_seconds}s on fuzz/seeds"
      if [ ! -x build-sanitize/bin/script_reader_fuzz ]; then
        cmake -S . -B build-sanitize -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
          -DKESTREL_FUZZ=ON -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
        cmake --build build-sanitize --target script_reader_fuzz
      fi
      # The corpus grows in a folder of its own; a crash leaves crash-<hash>
      # in build-sanitize/fuzz/ (run the target on that file to reproduce it).
      mkdir -p build-sanitize/fuzz/corpus
      if ! (cd build-sanitize/fuzz && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ../bin/script_reader_fuzz corpus "$root/fuzz/seeds" -max_len=20000 \
        -max_total_time="$fuzz_seconds" -dict="$root/fuzz/script.dict" -print_final_stats=1); then
        failed+=(fuzz)
      fi
      ;;
    *)
      echo "ci_checks: unknown step '$name'" >&2
      exit 2
      ;;
  esac
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "=== ci_checks: FAILED: ${failed[*]}"
  exit 1
fi
echo "=== ci_checks: all passed (${steps[*]})"

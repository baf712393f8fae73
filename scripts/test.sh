#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and tests the normal
# build, the ASan + UBSan build, and runs the fuzzers for a bounded time.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/deps.sh

fuzz_seconds="${RINGLARK_FUZZ_SECONDS:-30}"
export QT_QPA_PLATFORM=offscreen

echo "== formatting (clang-format)"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== normal build"
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j2

echo "== Debian package (build, install, run from /usr/bin, validate, remove)"
bash scripts/package-test.sh build

echo "== sanitizer build (ASan + UBSan)"
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DRINGLARK_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== fuzzing (${fuzz_seconds}s per target)"
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRINGLARK_FUZZ=ON -DRINGLARK_TESTS=OFF -DRINGLARK_BENCH=OFF -DRINGLARK_SOUND=OFF -DRINGLARK_CLI=OFF
# Seeds made by the program itself: generated recordings for the analysis
# fuzzer and a workshop script.
seeds=build-fuzz/seeds
mkdir -p "$seeds/fuzz_analysis" "$seeds/fuzz_workshop_script"
for kind in sdmf vmwi-on test; do
  build/cli/ringlark-cli generate "$kind" --number 5551234 --date 0101 --time 1200 --force \
    -o "$seeds/fuzz_analysis/$kind.wav"
done
build/cli/ringlark-cli workshop --from mdmf --number 555 --name Ann --date 0101 --time 1200 \
  --force -o "$seeds/fuzz_workshop_script/mdmf.CID"

for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  dirs=("$corpus")
  [ -d "fuzz/seeds/$name" ] && dirs+=("fuzz/seeds/$name")
  [ -d "$seeds/$name" ] && dirs+=("$seeds/$name")
  echo "-- $name"
  "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
    -print_final_stats=0 "${dirs[@]}" \
    2>build-fuzz/"$name".log || { tail -50 build-fuzz/"$name".log; exit 1; }
  grep -E '^(Done|#[0-9]+ +DONE)' build-fuzz/"$name".log | tail -1 || true
done

echo "== benchmark (informative)"
build/bench/ringlark_bench --benchmark_min_time=0.2 2>/dev/null | tail -3 || true

echo "All tests passed."

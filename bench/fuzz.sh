#!/usr/bin/env bash
# Coverage-guided fuzzing of the inputs Tidewire reads from outside, with
# AFL++ (Debian's afl++) and AddressSanitizer.
#
# The harnesses are compiled with afl-g++ (instrumentation at the assembler):
# bookworm's afl-g++-fast GCC plugin refuses the installed g++ ("GCC and
# plugin have incompatible versions") since the 12.2.0-14+deb12u1 update.
#
#   bench/fuzz.sh [seconds-per-harness] [parallel] [harness...]
#       defaults: 600 s, 4 at once, all of FeedParser FeedDate ServerModels TextHelpers
#
# Builds only the harnesses and the libraries they link (build-fuzz/), seeds
# each from tests/fuzz/corpus/<harness> and the fixtures its replay test
# reads, runs them (at most `parallel` at once, one core each) and prints
# executions, paths, crashes and hangs per harness. Findings stay in
# build-fuzz/findings/<harness>/default/{crashes,hangs}: copy each into
# tests/fuzz/corpus/<harness>/ as a regression input once it is fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
parallel=${2:-4}
shift $(( $# > 2 ? 2 : $# ))
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(FeedParser FeedDate ServerModels TextHelpers)
build=${TIDEWIRE_FUZZ_BUILD:-$root/build-fuzz}
command -v afl-fuzz >/dev/null || { echo "afl-fuzz is missing (apt-get install afl++)" >&2; exit 1; }

export AFL_USE_ASAN=1
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -g1" \
    -DCMAKE_CXX_COMPILER=afl-g++ -DTIDEWIRE_FUZZ=ON -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("${h}Fuzz"); done
cmake --build "$build" -j "$parallel" --target "${targets[@]}"

seeds_of() {
    local h=$1 out=$2
    mkdir -p "$out"
    cp "$root/tests/fuzz/corpus/$h"/* "$out/" 2>/dev/null || true
    case $h in
        FeedParser) cp "$root"/tests/personal/fixtures/parser/*.xml "$out/" ;;
        ServerModels) cp "$root"/tests/api/fixtures/*.json "$out/" ;;
    esac
}

export AFL_SKIP_CPUFREQ=1 AFL_NO_UI=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_AFFINITY=0
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0:allocator_may_return_null=1
running=0
for h in "${harnesses[@]}"; do
    seeds_of "$h" "$build/seeds/$h"
    rm -rf "$build/findings/$h"; mkdir -p "$build/findings"
    afl-fuzz -i "$build/seeds/$h" -o "$build/findings/$h" -m none -t 2000 -V "$seconds" \
        -- "$build/tests/fuzz/${h}Fuzz" @@ >"$build/findings/$h.log" 2>&1 &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then wait -n || true; running=$((running - 1)); fi
done
wait || true

printf '%-13s %12s %10s %8s %8s %8s\n' harness executions execs/s paths crashes hangs
for h in "${harnesses[@]}"; do
    stats="$build/findings/$h/default/fuzzer_stats"
    [ -f "$stats" ] || { echo "$h: no statistics (see $build/findings/$h.log)"; continue; }
    get() { awk -F': *' -v k="$1" '$1 ~ "^"k" *$" { print $2 }' "$stats"; }
    printf '%-13s %12s %10s %8s %8s %8s\n' "$h" "$(get execs_done)" "$(get execs_per_sec)" \
        "$(get corpus_count)" "$(get saved_crashes)" "$(get saved_hangs)"
done

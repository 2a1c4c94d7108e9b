#!/usr/bin/env bash
# Coverage-guided, in-process fuzzing of everything Tidewire decodes from
# outside or from its own files, with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang 19; installed here when missing).
#
#   bench/fuzz.sh [seconds-per-harness] [parallel] [harness...]
#       defaults: 1800 s, as many at once as there are cores, every harness
#   bench/fuzz.sh minimise [harness...]
#       merges what the last run found into tests/fuzz/corpus/<harness>
#
# A run builds only the harnesses and the libraries they link (build-fuzz/),
# seeds each working corpus (build-fuzz/corpus/<harness>) from
# tests/fuzz/corpus/<harness> and the fixtures its replay test reads, runs the
# harnesses (at most `parallel` at once, one core each, with the tokens of
# tests/fuzz/dict/<harness>.dict; a crash, a time-out or a leak is written
# down and the run goes on) and prints per harness the
# executions per second, coverage (libFuzzer's cov and ft) and findings.
# Findings are build-fuzz/findings/<harness>/{crash,timeout,oom,leak}-*: once
# fixed, each goes into tests/fuzz/corpus/<harness>/ under a name that says
# what it was, where the replay test in ./test.sh runs it from then on.
#
# `minimise` keeps the named files of tests/fuzz/corpus/<harness> (seeds and
# past findings) and replaces the rest by the smallest set of inputs that
# reaches the coverage of the whole working corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TIDEWIRE_FUZZ_BUILD:-$root/build-fuzz}
all=(FeedParser FeedDate ServerModels MarketReplies TextHelpers StoredState)

mode=run
if [ "${1:-}" = minimise ]; then
    mode=minimise
    shift
    harnesses=("$@")
else
    seconds=${1:-1800}
    parallel=${2:-$(nproc)}
    shift $(( $# > 2 ? 2 : $# ))
    harnesses=("$@")
fi
[ ${#harnesses[@]} -gt 0 ] || harnesses=("${all[@]}")

if ! command -v clang++-19 >/dev/null || [ ! -d /usr/lib/llvm-19/lib/clang/19/lib/linux ]; then
    echo "fuzz.sh: installing clang 19"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq clang-19 libclang-rt-19-dev >/dev/null
fi
"$root/scripts/install-deps"

CXX=clang++-19 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -g" \
    -DTIDEWIRE_FUZZ=ON -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF -DTIDEWIRE_PCH=OFF >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("${h}Fuzz"); done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:symbolize=1
export LSAN_OPTIONS="suppressions=$root/cmake/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fixtures_of() {
    case $1 in
        FeedParser) echo "$root/tests/personal/fixtures/parser" ;;
        ServerModels) echo "$root/tests/api/fixtures" ;;
    esac
}

if [ "$mode" = minimise ]; then
    for h in "${harnesses[@]}"; do
        repo="$root/tests/fuzz/corpus/$h" work="$build/corpus/$h" merged="$build/merged/$h"
        [ -d "$work" ] || { echo "$h: no working corpus; run it first"; continue; }
        rm -rf "$merged"; mkdir -p "$merged" "$repo"
        "$build/tests/fuzz/${h}Fuzz" -merge=1 "$merged" "$repo" "$work" >"$build/merged/$h.log" 2>&1
        # libFuzzer names each input after the SHA-1 of its bytes: drop the
        # ones the named files already hold, and the old unnamed set.
        for f in "$repo"/*; do
            [ -f "$f" ] || continue
            name=$(basename "$f")
            if [[ $name =~ ^[0-9a-f]{40}$ ]]; then rm "$f"; else rm -f "$merged/$(sha1sum <"$f" | cut -c1-40)"; fi
        done
        cp "$merged"/* "$repo"/ 2>/dev/null || true
        echo "$h: $(ls "$repo" | wc -l) files, $(du -sk "$repo" | cut -f1) KiB"
    done
    exit 0
fi

run_one() {
    local h=$1 work="$build/corpus/$1" findings="$build/findings/$1" fixtures
    mkdir -p "$work"
    rm -rf "$findings"; mkdir -p "$findings"
    cp "$root/tests/fuzz/corpus/$h"/* "$work"/ 2>/dev/null || true
    fixtures=$(fixtures_of "$h")
    [ -z "$fixtures" ] || find "$fixtures" -maxdepth 1 -type f -exec cp {} "$work"/ \;
    local dict=()
    [ -f "$root/tests/fuzz/dict/$h.dict" ] && dict=(-dict="$root/tests/fuzz/dict/$h.dict")
    # Fork mode with one worker: a finding is saved and the run goes on.
    (cd "$findings" && "$build/tests/fuzz/${h}Fuzz" "${dict[@]}" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" "$work" >"$build/findings/$h.log" 2>&1) || true
}

running=0
for h in "${harnesses[@]}"; do
    run_one "$h" &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then wait -n || true; running=$((running - 1)); fi
done
wait || true

printf '%-14s %8s %12s %8s %8s %8s %8s %s\n' harness seconds executions execs/s cov ft corpus findings
for h in "${harnesses[@]}"; do
    log="$build/findings/$h.log"
    # The last status line of the fork driver: "#N: cov: C ft: F corp: K exec/s: E ... time: Ts".
    last=$(grep -E '^#[0-9]+: cov: ' "$log" | tail -n 1)
    field() { sed -nE "s/.* $1:? ([0-9]+).*/\\1/p" <<<"$last"; }
    found=$(find "$build/findings/$h" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) | wc -l)
    execs=$(sed -nE 's/^#([0-9]+):.*/\1/p' <<<"$last")
    secs=$(field time)
    printf '%-14s %8s %12s %8s %8s %8s %8s %s\n' "$h" "$secs" "$execs" "$(( ${execs:-0} / (${secs:-0} > 0 ? ${secs:-1} : 1) ))" \
        "$(field cov)" "$(field ft)" "$(ls "$build/corpus/$h" | wc -l)" "$found"
done

#!/bin/bash
# Measures how many planted faults the test suite catches. Each mutant in
# tools/mutation/mutants/ is one realistic fault as a patch; for each, a clean
# clone of the current commit gets the patch, is built incrementally (one build
# folder for all mutants, through ccache) and runs the whole suite. A mutant is
# caught when the suite fails.
#
#   tools/mutation/run.sh                 every mutant
#   tools/mutation/run.sh shell print-    only mutants whose file name contains a word
#
# MUTATION_WORK    clone and build folder (default: beside the repository; under the
#                  ccache base folder, so builds share the cache)
# MUTATION_SUITE_S time limit of one suite run in seconds (default 900)
# MUTATION_SKIP_BASELINE=1  trust that the unmutated suite passes
# MUTATION_BUILD_LOCK  a file to flock around each build, to share a busy machine
#
# Not part of CI: a run takes a few minutes per mutant.
set -uo pipefail

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || exit 2
mutants_dir="$repo/tools/mutation/mutants"
commit=$(git -C "$repo" rev-parse HEAD) || exit 2
work=${MUTATION_WORK:-$(dirname "$repo")/$(basename "$repo")-mutation}
suite_limit=${MUTATION_SUITE_S:-900}
source_dir="$work/src"
build_dir="$work/build"
logs="$work/logs"
mkdir -p "$logs"

if ! git -C "$repo" diff --quiet HEAD -- . ':!tools/mutation'; then
    echo "note: uncommitted changes are not measured; the clone is of $commit" >&2
fi

selected=()
for patch in "$mutants_dir"/*.patch; do
    name=$(basename "$patch" .patch)
    if [ $# -eq 0 ]; then
        selected+=("$patch")
        continue
    fi
    for word in "$@"; do
        if [[ $name == *"$word"* ]]; then
            selected+=("$patch")
            break
        fi
    done
done
[ ${#selected[@]} -gt 0 ] || { echo "no mutant matches: $*" >&2; exit 2; }

if [ ! -d "$source_dir/.git" ]; then
    git clone --quiet --no-checkout "$repo" "$source_dir" || exit 2
fi
git -C "$source_dir" fetch --quiet "$repo" "$commit" || exit 2

reset_source() {
    git -C "$source_dir" checkout --quiet --force --detach "$commit" &&
        git -C "$source_dir" clean --quiet -fdx
}

build() {
    if [ -n "${MUTATION_BUILD_LOCK:-}" ]; then
        flock "$MUTATION_BUILD_LOCK" bash -c "$(declare -f build_unlocked); build_unlocked \"\$@\"" \
            _ "$1" "$source_dir" "$build_dir"
    else
        build_unlocked "$1" "$source_dir" "$build_dir"
    fi
}

build_unlocked() {
    local log=$1 source_dir=$2 build_dir=$3
    if [ ! -f "$build_dir/build.ninja" ]; then
        cmake -S "$source_dir" -B "$build_dir" -G Ninja \
            -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DORNAVEX_BENCH=OFF >>"$log" 2>&1 || return 1
    fi
    cmake --build "$build_dir" >>"$log" 2>&1
}

# Stops at the first failing test: one is enough to catch the mutant. With an
# area (the mutant's folder, the second word of its name) that folder's tests
# run first: most mutants are caught there within seconds.
run_suite() {
    local log=$1 area=${2:-}
    if [ -n "$area" ]; then
        timeout --kill-after=30 "$suite_limit" ctest --test-dir "$build_dir" -j2 \
            --stop-on-failure --timeout 120 -L "^$area\$" >>"$log" 2>&1 || return 1
        timeout --kill-after=30 "$suite_limit" ctest --test-dir "$build_dir" -j2 \
            --stop-on-failure --timeout 120 -LE "^$area\$" >>"$log" 2>&1
        return
    fi
    timeout --kill-after=30 "$suite_limit" \
        ctest --test-dir "$build_dir" -j2 --stop-on-failure --timeout 120 >>"$log" 2>&1
}

first_failure() {
    awk '/The following tests FAILED:/{getline; sub(/^[ \t]*[0-9]+ - /, ""); sub(/ +# GetParam.*/, "");
        print; exit}' "$1"
}

if [ "${MUTATION_SKIP_BASELINE:-0}" != 1 ]; then
    reset_source || exit 2
    log="$logs/baseline.log"
    : >"$log"
    echo "baseline: building and running the unmutated suite ($log)"
    if ! build "$log"; then
        echo "baseline does not build" >&2
        exit 2
    fi
    if ! run_suite "$log"; then
        echo "baseline suite fails ($(first_failure "$log")); fix that first" >&2
        exit 2
    fi
fi

caught=0
survived=0
unusable=0
survivors=()
for patch in "${selected[@]}"; do
    name=$(basename "$patch" .patch)
    log="$logs/$name.log"
    started=$SECONDS
    reset_source || exit 2
    if ! git -C "$source_dir" apply --whitespace=nowarn "$patch" >"$log" 2>&1 &&
        ! patch -d "$source_dir" -p1 --fuzz=2 --no-backup-if-mismatch <"$patch" >>"$log" 2>&1; then
        result="does not apply"
        unusable=$((unusable + 1))
    elif ! build "$log"; then
        result="does not build"
        unusable=$((unusable + 1))
    elif run_suite "$log" "$(cut -d- -f2 <<<"$name")"; then
        result="SURVIVED"
        survived=$((survived + 1))
        survivors+=("$name")
    else
        result="caught by $(first_failure "$log")"
        caught=$((caught + 1))
    fi
    printf '%-48s %s (%ds)\n' "$name" "$result" $((SECONDS - started))
done
reset_source

measured=$((caught + survived))
echo
echo "caught $caught of $measured mutants ($unusable not applied or not built)"
[ $measured -gt 0 ] && echo "score: $((100 * caught / measured))%"
for name in "${survivors[@]}"; do echo "survivor: $name"; done
[ $survived -eq 0 ]

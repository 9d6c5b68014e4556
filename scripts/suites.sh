# Sourced by scripts/test.sh and by the emulated 32-bit lane: the Wine test
# suites, each run in the background in a throwaway prefix of its own with
# its own Xvfb, as a process group (job control while one is started), so
# that an interrupted run can stop each one whole, then its wineserver.
# Needs scripts/wine-env.sh sourced first. Sets `status` to 1 and adds a
# line to `summary` for each suite that wait_suites finds failed.

# The 32-bit build's tests that also run under WoW64: the setup and
# uninstall end-to-end tests and the registry cleanup (registry views,
# special folders, cleanup script).
wow64_tests='^(setup_tests|uninstall_e2e_tests|uninstall_tests)[.]'
# The x86_64 build's cases that start a 32-bit program: the sample
# installer, and the 32-bit shell opening an archive.
needs_i386='PackagedInstall|QuotedCommandLinesNeverStartAPlantedProgram'

suite_pids=() suite_names=() suite_logs=() suite_prefixes=()
status=${status:-0}
summary=()
suites_started=$SECONDS
stamp() { echo "== [$((SECONDS - suites_started)) s] $*"; }

stop_suites() {
    local i
    for i in "${!suite_pids[@]}"; do
        kill -TERM -- "-${suite_pids[$i]}" 2>/dev/null || true
        [ -z "${suite_prefixes[$i]}" ] ||
            WINEPREFIX="${suite_prefixes[$i]}/prefix" wineserver -k 2>/dev/null || true
    done
}

# start_job NAME LOG PREFIX_DIR COMMAND...: any background job that waits
# with the suites (PREFIX_DIR empty when it has no prefix of its own).
start_job() {
    local name=$1 log=$2 dir=$3
    shift 3
    set -m
    "$@" </dev/null >"$log" 2>&1 &
    set +m
    suite_pids+=($!) suite_names+=("$name") suite_logs+=("$log") suite_prefixes+=("$dir")
    stamp "started in the background: $name (log $log)"
}

run_suite() {
    local dir=$1 arch=$2 tree=$3
    shift 3
    trap wine_env_stop EXIT
    WINE_ENV_ARCH=$arch WINE_ENV_FORCE_XVFB=1 wine_env_start "$dir"
    # CTest lists each test program's cases when it first reads the tree
    # and writes the list there: two suites on one tree take turns.
    flock "$tree/.test-discovery.lock" ctest --test-dir "$tree" -N >/dev/null
    ctest --output-on-failure --timeout "${MELVOX_TEST_TIMEOUT:-120}" --test-dir "$tree" "$@"
}

# start_suite NAME LOG PREFIX_DIR ARCH TREE [ctest options]
start_suite() {
    local name=$1 log=$2 dir=$3
    shift 3
    rm -rf "$dir"
    start_job "$name" "$log" "$dir" run_suite "$dir" "$@"
}

# Waits for every job; prints each log whole, then keeps one summary line
# per suite: CTest's counts, or what the job left in LOG.summary.
wait_suites() {
    local i rc counts line
    for i in "${!suite_pids[@]}"; do
        rc=0
        wait "${suite_pids[$i]}" || rc=$?
        echo "== ${suite_names[$i]} (exit $rc):"
        cat "${suite_logs[$i]}"
        if [ -f "${suite_logs[$i]}.summary" ]; then
            while IFS= read -r line; do summary+=("$line"); done <"${suite_logs[$i]}.summary"
            [ "$rc" -eq 0 ] || { summary+=("${suite_names[$i]}: exit $rc"); status=1; }
            continue
        fi
        counts=$(grep -E 'tests passed|No tests were found' "${suite_logs[$i]}" | tail -1)
        line="${suite_names[$i]}: ${counts:-no test ran}"
        [ "$rc" -eq 0 ] || { line="$line (exit $rc)"; status=1; }
        summary+=("$line")
    done
    suite_pids=() suite_names=() suite_logs=() suite_prefixes=()
}

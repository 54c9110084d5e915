# Helpers shared by the benchmark scripts (sourced): timing a run, and the median of runs.

# time_once COMMAND...: prints the seconds one run takes. Exit status 1 is fine: kestrune-cli
# uses it for "differences found".
time_once() {
    local start end rc=0
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || rc=$?
    end=$(date +%s.%N)
    if [ "$rc" -gt 1 ]; then
        echo "failed (exit $rc): $*" >&2
        exit 1
    fi
    echo "$end - $start" | bc -l
}

# median: the median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

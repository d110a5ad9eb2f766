# Counted checks for the package scripts, which run every check and report them all at the end:
# source this file, call `check WHAT COMMAND...` for each, and end with `checks_summary NAME`,
# whose status is the scripts' own.
passed=0
failed=0

# check WHAT COMMAND...: runs the command, counts it, and says what failed.
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}

# checks_summary NAME: the counts, and success only when nothing failed.
checks_summary() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

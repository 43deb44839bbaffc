# Sourced, from the repository's top, by tools/test, the check scripts and
# .ci/run. `stage NAME` prints the stage's heading and notes the time; the
# stage lasts until the next one starts. The first script to source this
# owns the list and, as it exits (passed or failed), prints each stage's
# time and the total; the scripts it starts add their stages to its list.
if [ -z "${QUORVEL_TIMES:-}" ]; then
    mkdir -p build
    QUORVEL_TIMES="$PWD/build/stage-times"
    export QUORVEL_TIMES
    date +%s >"$QUORVEL_TIMES"
    timing_owner=$$
fi

stage() {
    echo "== $1"
    printf '%s %s\n' "$(date +%s)" "$1" >>"$QUORVEL_TIMES"
}

timing_report() {
    [ "${timing_owner:-}" = "$$" ] || return 0
    timing_end=$(date +%s)
    echo "== times (min:s)"
    {
        read -r timing_start
        timing_name=""
        while read -r timing_at timing_next; do
            [ -z "$timing_name" ] || timing_line "$timing_name" $((timing_at - timing_last))
            timing_name=$timing_next
            timing_last=$timing_at
        done
        [ -z "$timing_name" ] || timing_line "$timing_name" $((timing_end - timing_last))
        timing_line total $((timing_end - timing_start))
    } <"$QUORVEL_TIMES"
}

timing_line() {
    printf '  %-16s %3d:%02d\n' "$1" $(($2 / 60)) $(($2 % 60))
}

# The owner's own EXIT trap, if it sets one, calls timing_report itself.
[ "${timing_owner:-}" != "$$" ] || trap timing_report EXIT

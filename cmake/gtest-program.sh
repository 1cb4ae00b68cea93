#!/bin/sh
# Runs one test program for CTest: its results go to RESULTS as XML, and a case that the program's
# watchdog ends it for is named, then the program runs again without that case so that its other
# cases still run. The entry fails when any case hung, whatever the other cases did.
#   gtest-program.sh RUN PROGRAM RESULTS [ARGUMENTS...]
# RUN starts a Windows program (the Wine wrapper); RESULTS is a Linux path such as
# build/x64/test-results/util_tests.xml.
watchdog_exit=124 # kWatchdogExitCode in tests/support/watchdog.h
[ $# -ge 3 ] || { echo "usage: $0 RUN PROGRAM RESULTS [ARGUMENTS...]" >&2; exit 2; }
run=$1 program=$2 results=$3
shift 3

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

mkdir -p "$(dirname "$results")"
note="${results%.xml}.hung"
rm -f "$results" "$note"
QUILLFEN_WATCHDOG_NOTE=$(windows_path "$note")
export QUILLFEN_WATCHDOG_NOTE

hung=""
attempt=0
while :; do
    attempt=$((attempt + 1))
    if [ -n "$hung" ]; then
        "$run" "$program" "--gtest_output=xml:$(windows_path "$results")" "--gtest_filter=-$hung" "$@"
    else
        "$run" "$program" "--gtest_output=xml:$(windows_path "$results")" "$@"
    fi
    status=$?
    [ "$status" -eq "$watchdog_exit" ] || break
    case=$(tail -n 1 "$note" 2>/dev/null)
    if [ -z "$case" ]; then
        echo "gtest-program: $program ended with the watchdog's code but named no case" >&2
        break
    fi
    hung="${hung:+$hung:}$case"
    # Each round leaves out one more case; a program whose every case hangs still comes to an end.
    if [ "$attempt" -ge 4 ]; then
        echo "gtest-program: giving up after $attempt hung cases" >&2
        break
    fi
    echo "gtest-program: $case hung; running the program's other cases again without it" >&2
done

if [ -n "$hung" ]; then
    echo "gtest-program: FAILED: hung: $(echo "$hung" | tr ':' ' ')" >&2
    [ "$status" -eq 0 ] && status=1
fi
exit "$status"

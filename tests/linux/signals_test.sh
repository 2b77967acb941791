#!/usr/bin/env bash
# firmware-updater as a process: Ctrl-C in the middle of an update, signals
# while the device keeps silent, a closed pipe on its output, and --json
# keeping standard output for the document.
# Usage: signals_test.sh PROGRAM
set -u
program=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 LANGUAGE= FWUP_DEMO_DELAY_MS=40

# Ctrl-C during the download: status 130 and "interrupted", within a transfer's time.
"$program" --simulate update >"$work/out" 2>"$work/err" &
pid=$!
sleep 1  # well into the download, which takes 2.5 s
kill -INT "$pid"
wait "$pid"
status=$?
[[ $status -eq 130 ]] || fail "Ctrl-C ended with status $status, not 130"
grep -qx interrupted "$work/err" || fail "Ctrl-C did not say interrupted: $(cat "$work/err")"

# Ctrl-C, a request to end and a hang-up while the device keeps silent (its
# time limit is 10 s): the transfer is called back, the command ends within a
# second or two as interrupted, with status 130, and --json still writes its
# document.
for signal in INT TERM HUP; do
    FWUP_DEMO_DELAY_MS=0 FWUP_DEMO_FAULT=stops-answering "$program" --simulate --json update \
        >"$work/out" 2>"$work/err" &
    pid=$!
    sleep 1  # silent by now
    sent=$(date +%s%N)
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
    elapsed_ms=$((($(date +%s%N) - sent) / 1000000))
    [[ $status -eq 130 ]] || fail "SIG$signal in a silent transfer: status $status, not 130"
    [[ $elapsed_ms -lt 2000 ]] || fail "SIG$signal in a silent transfer: ended after $elapsed_ms ms"
    grep -q '"outcome":"interrupted"' "$work/out" ||
        fail "SIG$signal in a silent transfer: no interrupted document: $(cat "$work/out")"
    grep -qx interrupted "$work/err" || fail "SIG$signal did not say interrupted: $(cat "$work/err")"
done

# A closed pipe never kills a flash: the outcome decides the status.
FWUP_DEMO_DELAY_MS=0 "$program" --simulate update --all 2>/dev/null | head -c 0
status=${PIPESTATUS[0]}
[[ $status -eq 0 ]] || fail "a closed pipe ended the update with status $status"

# --json: standard output is one JSON document, the texts are on standard error.
FWUP_DEMO_DELAY_MS=0 FWUP_DEMO_DEVICES=2 "$program" --simulate --json update --all \
    >"$work/out" 2>"$work/err"
status=$?
[[ $status -eq 0 ]] || fail "--json update ended with status $status"
[[ $(wc -l <"$work/out") -eq 1 && $(grep -o '"outcome":"updated"' "$work/out" | wc -l) -eq 2 ]] &&
    grep -q '^{"schema":2,' "$work/out" || fail "--json printed no document: $(cat "$work/out")"
grep -q "Firmware updated." "$work/err" || fail "--json texts not on standard error"

# A bench stops in two steps: the first SIGTERM takes no new unit and lets
# the units in flight finish (confirmed, status 0); the second stops them at
# once (130). Either way every unit that started has its end line.
for signals in TERM "TERM TERM"; do
    rm -f "$work/units.jsonl"
    FWUP_DEMO_DEVICES=2 FWUP_DEMO_UNITS=5 FWUP_DEMO_VERSION=0230 \
        "$program" --simulate station --yes --record "$work/units.jsonl" >"$work/out" 2>"$work/err" &
    pid=$!
    sleep 1  # both ports downloading their first units
    for signal in $signals; do kill -"$signal" "$pid"; sleep 0.2; done
    wait "$pid"
    status=$?
    starts=$(grep -c '"record":"start"' "$work/units.jsonl")
    ends=$(grep -c '"record":"end"' "$work/units.jsonl")
    confirmed=$(grep -c '"outcome":"confirmed"' "$work/units.jsonl")
    if [[ $signals == TERM ]]; then
        [[ $status -eq 0 && $starts -eq 2 && $confirmed -eq 2 ]] && grep -q '^Stopping:' "$work/err" ||
            fail "one SIGTERM to a bench: status $status, $starts started, $confirmed confirmed"
    else
        [[ $status -eq 130 && $starts -ge 1 && $confirmed -eq 0 ]] ||
            fail "two SIGTERMs to a bench: status $status, $starts started, $confirmed confirmed"
    fi
    [[ $starts -eq $ends ]] || fail "SIG$signals to a bench: $starts units started, $ends ended"
done

# A setting of the simulated bench not understood: the document says why.
FWUP_DEMO_VERSION=xyz "$program" --simulate --json info >"$work/out" 2>/dev/null
status=$?
code=$(jq -r '.error.code' "$work/out")
message=$(jq -r '.error.message' "$work/out")
[[ $status -eq 2 && $code == bad-environment && $message == *FWUP_DEMO_VERSION* ]] ||
    fail "a bad FWUP_DEMO_VERSION: status $status, error $code: $message"

[[ $failures -eq 0 ]] && echo "all process cases passed"
exit $((failures > 0))

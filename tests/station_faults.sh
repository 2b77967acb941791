#!/usr/bin/env bash
# Runs the fault table against a terminal program over its simulated bench:
# every fault ends in the table's exit status, outcome, step and link.
# usage: station_faults.sh TABLE PROGRAM [ARGUMENT...]
#   PROGRAM with its ARGUMENTs runs the program: firmware-updater, or
#   wine firmware-updater-cli.exe.
set -u
table=$1
shift
failures=0
while read -r fault command status outcome step link; do
    case "$fault" in '#'* | '') continue ;; esac
    options=()
    # confirm: run, and the version read back after the re-plug.
    [ "$command" = confirm ] && command=run options+=(--confirm)
    [ "$command" = update ] || options+=(--yes)
    [ "$command" = run ] && options+=(--wait 1)
    got=0
    document=$(env FWUP_DEMO_DELAY_MS=0 FWUP_DEMO_FAULT="$fault" LC_ALL=C.UTF-8 \
        timeout 60 "$@" --simulate "$command" "${options[@]}" --json 2>/dev/null </dev/null) || got=$?
    said=$(printf '%s' "$document" |
        jq -r '.devices[0] // {} | [.outcome // "-", .step // "-", .link // "-"] | join(" ")' 2>/dev/null)
    if [ "$got $said" = "$status $outcome $step $link" ]; then
        echo "ok    $fault $command: $got $said"
    else
        echo "FAIL  $fault $command: expected $status $outcome $step $link, got $got $said"
        failures=$((failures + 1))
    fi
done <"$table"
[ $failures -eq 0 ]

#!/usr/bin/env bash
# The --all board in a small terminal window: 16 devices in 40 columns and
# 10 rows, then in a window made smaller while every device keeps silent, so
# that no news redraws the board. Every screen shows the devices that fit and
# counts the others on one last line; no line wraps and no line is left over
# from an earlier frame.
# Usage: board_window_test.sh PROGRAM
set -u
program=$1
command -v tmux >/dev/null || { echo "tmux is not installed"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

socket="fwup-board-$$"
work=$(mktemp -d)
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$work"' EXIT

tmux -L "$socket" -f /dev/null new-session -d -s board -x 40 -y 10 \
    "env LC_ALL=C.UTF-8 LANGUAGE= FWUP_DEMO_DEVICES=16 FWUP_DEMO_FAULT=stops-answering \
     '$program' --simulate update --all; sleep 30"

# screen COLUMNS ROWS SHOWN HIDDEN: the pane as it stands, its wrapped lines
# joined, holds SHOWN device lines and "... and HIDDEN more" once, each no
# wider than the window, no device twice.
screen() {
    local columns=$1 rows=$2 shown=$3 hidden=$4 pane
    pane=$(tmux -L "$socket" capture-pane -p -J -t board)
    echo "$pane" >"$work/pane"
    local label="${columns}x${rows}"
    local lines
    lines=$(grep -c '^sim-' <<<"$pane")
    [[ $lines -eq $shown ]] || fail "$label: $lines device lines, not $shown:"$'\n'"$pane"
    [[ $(grep -c "^\.\.\. and $hidden more\$" <<<"$pane") -eq 1 ]] ||
        fail "$label: no single \"... and $hidden more\":"$'\n'"$pane"
    [[ $(grep -c "more" <<<"$pane") -eq 1 ]] || fail "$label: a stale count line:"$'\n'"$pane"
    [[ -z $(grep -o '^sim-[0-9]* ' <<<"$pane" | sort | uniq -d) ]] ||
        fail "$label: a device shown twice:"$'\n'"$pane"
    local long
    long=$(awk -v w="$columns" 'length($0) >= w' <<<"$pane")
    [[ -z $long ]] || fail "$label: lines as wide as the window: $long"
}

sleep 2  # every device is silent in the middle of its download
screen 40 10 8 8
tmux -L "$socket" resize-window -t board -x 30 -y 8
sleep 0.5
screen 30 8 6 10

[[ $failures -eq 0 ]] && echo "the board fits its window"
exit $((failures > 0))

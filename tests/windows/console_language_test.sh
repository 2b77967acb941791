#!/usr/bin/env bash
# The console program's Chinese under Wine: on a console whose code page is
# 936 (GBK), as a Chinese Windows has it, the text is legible (Wine shows the
# console on this script's terminal in UTF-8); redirected to a file, it is
# UTF-8. Needs LC_ALL=zh_CN.UTF-8 with its locale (LOCPATH).
# usage: console_language_test.sh WINE PROGRAM
set -u
wine=$1 program=$2
expected="没有以此命令所需模式连接的设备 nosuch"
failures=0
check() {  # check NAME COMMAND...
    local name=$1
    shift
    if "$@"; then echo "ok    $name"; else echo "FAIL  $name"; failures=$((failures + 1)); fi
}
# A terminal of its own (script) gives the program a console.
on_console() { script -qec "$*" /dev/null </dev/null; }

console_page=$(on_console "$wine" cmd /c chcp)
check "the console's code page is 936 ($console_page)" grep -q 936 <<<"$console_page"
shown=$(on_console "$wine" "$program" --simulate update --device nosuch)
check "legible on the console" grep -qF "$expected" <<<"$shown"

file=$(mktemp)
"$wine" "$program" --simulate update --device nosuch 2>"$file" </dev/null
check "UTF-8 in a file" grep -qF "$expected" "$file"
check "nothing but UTF-8 in the file" iconv -f UTF-8 -t UTF-8 "$file" -o /dev/null
rm -f "$file"
[ $failures -eq 0 ]

#!/usr/bin/env bash
# The bash completion of firmware-updater: what it offers on typical command
# lines, with stand-in programs for the device list; and that the options of
# the program's --help, the completion and the man page agree.
# Usage: completion_test.sh COMPLETION_FILE PROGRAM MAN_PAGE
set -u
completion=$(realpath "$1") program=$(realpath "$2") man_page=$(realpath "$3")
# shellcheck source=/dev/null
source "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir images && touch images/device-image.bin images/other.bin

# Lists devices in both modes under a heading, and notes how it was called.
cat >lister <<'EOF'
#!/bin/sh
echo "$*" >>calls
[ "$1" = list ] || exit 2
echo "ID        MODE     DETAILS"
echo "1-1.4     vendor   serial ABC123"
echo "2-3       vendor"
echo "/dev/sdb  storage  VENDOR MODEL 2.40 0xFFFFFFFF"
echo "sdc       storage  needs root"
EOF
# Fails with words on both outputs.
printf '#!/bin/sh\necho "1-2 was never here" >&2\necho "error: no" \nexit 1\n' >broken
chmod +x lister broken

failures=0
# complete EXPECTED WORD...: the last word is the one being completed.
complete_line() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _firmware_updater 2>errors
    local got errors
    errors=$(cat errors)
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    # shellcheck disable=SC2086 # one offer a word
    expected=$(printf '%s\n' $expected | sort | tr '\n' ' ')
    if [[ $got != "$expected" || -n $errors ]]; then
        echo "FAIL: [$*] offered [$got] expected [$expected] errors [$errors]"
        failures=$((failures + 1))
    fi
}

L=$work/lister
# expected offers                                          | the words typed
complete_line "clear history info list run station update" "$L" ""
complete_line "update"                                     "$L" u
complete_line "clear"                                      "$L" --simulate c
complete_line "--json --verbose --simulate --help --version" "$L" list --
complete_line "--device --all --image --image-version --json --verbose --simulate --help --version" \
                                                           "$L" update --
complete_line "--image --image-version --json --verbose --simulate --help --version" \
                                                           "$L" update --device 1-1.4 --
complete_line "--wait --image --image-version --confirm --json --verbose --simulate --help --version" \
                                                           "$L" run --all -y --
complete_line "--device --wait --units --image --image-version --record --json --verbose --simulate --help --version" \
                                                           "$L" station --device 1-1.4 --yes --
complete_line "-v --verbose --json --simulate -h --help -V --version" \
                                                           "$L" clear --all --yes -v -
complete_line "1-1.4 2-3 /dev/sdb sdc"                     "$L" update --device ""
complete_line "1-1.4"                                      "$L" update --device 1-
complete_line "1-1.4 2-3 /dev/sdb sdc"                     "$L" clear --device =
complete_line "/dev/sdb"                                   "$L" clear --device = /d
complete_line "images/device-image.bin"                    "$L" update --image images/d
complete_line ""                                           "$L" run --wait ""
complete_line "--device --record --json --help --version"  "$L" history --device p1 --since 8h --
complete_line "images/device-image.bin"                    "$L" history --record images/d
complete_line ""                                           "$L" history --since ""
complete_line ""                                           "$work/broken" update --device ""
complete_line ""                                           "$work/missing" update --device ""
rm -f calls
complete_line "1-1.4 2-3 /dev/sdb sdc"                     "$L" --simulate update --device ""
if [[ $(cat calls 2>/dev/null) != "list --simulate" ]]; then
    echo "FAIL: under --simulate the list was called as [$(cat calls 2>/dev/null)]"
    failures=$((failures + 1))
fi

# Every option that --help names is offered, and every option offered has its
# own entry among the man page's OPTIONS.
COMP_WORDS=("$L" -) COMP_CWORD=1
_firmware_updater
offered=" ${COMPREPLY[*]} "
help=$(LANGUAGE='' LC_ALL=C "$program" --help 2>&1)
for option in $(grep -oE -- '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' <<<"$help" |
                grep -oE -- '--?[[:alpha:]][[:alnum:]-]*' | sed 's/^-vv*$/-v/' | sort -u); do
    if [[ $offered != *" $option "* ]]; then
        echo "FAIL: --help names $option, the completion does not offer it"
        failures=$((failures + 1))
    fi
done
entries=$(awk '/^\.SH /{options = ($2 == "OPTIONS")} options && tagged {print} {tagged = /^\.TP/}' \
          "$man_page")
for option in $offered; do
    if ! grep -qFw -- "${option//-/\\-}" <<<"$entries"; then
        echo "FAIL: the completion offers $option, the man page does not describe it"
        failures=$((failures + 1))
    fi
done

[[ $failures -eq 0 ]] && echo "all completion cases passed"
exit $((failures > 0))

#!/bin/bash
# The Linux program against the device on a real kernel's USB bus. Runs as
# root inside the guest (tools/run-kernel-tests.sh starts it there): installs
# the package, starts the device as USB gadgets on dummy_hcd's ports, and runs
# the installed firmware-updater as a user in plugdev (root only where the
# kernel asks for CAP_SYS_RAWIO), then the same faults through --simulate.
#
# usage: in_guest.sh PACKAGE.deb GADGET IMAGE RESULTS_DIR [CASE...]
# IMAGE: a test image (never the stand-in) long enough that faults in the
# middle of a download happen; the fault table updates with it both ways.
# Cases: storage faults confirm all parallel bench sticks wine (all eight by default).
# The case wine reads the Windows files from the folder windows/ next to
# GADGET: fwup-dialog-driver.exe, firmware-updater.exe (the real program,
# built with the package's test image, never the stand-in) and
# fwup-usb-pipe-bridge; and the Wine prefix from wine-prefix.tar there, if
# there is one.
set -u
deb=$1 gadget=$2 image=$3 results=$4
shift 4
# The work folder is the host's, with the host's modes: under a home of mode
# 0700 (/root, /home/someone) the test user can reach nothing there. What it
# reads, and the results it writes, lie in a folder of the guest's own; the
# results go back to RESULTS_DIR after every case.
stage=/srv/fwup-kernel-test
host_results=$results
windows=$(dirname "$gadget")/windows
wine_prefix_tar=$(dirname "$gadget")/wine-prefix.tar
mkdir -p "$stage/results" "$host_results"
chmod 0755 "$stage"
chmod 1777 "$stage/results"
cp "$deb" "$gadget" "$image" "$stage/"
deb=$stage/$(basename "$deb") gadget=$stage/$(basename "$gadget") image=$stage/$(basename "$image")
chmod a+r "$image"
results=$stage/results
cd "$stage" || exit 1
cases=${*:-storage faults confirm all parallel bench sticks wine}
user=tester
program=/usr/bin/firmware-updater
failures=0
gadget_runs=0
declare -A gadget_pids=() gadget_logs=()

say() { echo "kernel-test: $*"; }
pass() { say "ok   $*"; }
fail() { say "FAIL $*"; failures=$((failures + 1)); }
check() {  # check NAME COMMAND...: passes when COMMAND succeeds
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
as_user() { runuser -u "$user" -- env FWUP_DEMO_DELAY_MS=0 "$@"; }
now_ms() { date +%s%3N; }

# --- The system: modules, udev, the package, the user.
say "booted: $(cut -d ' ' -f 1 /proc/uptime) s of the guest's time; setting up"
# usb-storage waits 1 s before it scans a new disk, at every plug-in: the
# gadget is ready once bound.
modprobe dummy_hcd num=4 && modprobe usb-storage delay_use=0 && modprobe -a libcomposite usb_f_fs sd_mod sg ||
    { say "the USB modules do not load"; exit 1; }
say "modules loaded"
/lib/systemd/systemd-udevd --daemon >/dev/null 2>&1 || { say "systemd-udevd does not start"; exit 1; }
say "udevd started"
# The manual pages' index would be rebuilt from every page over 9p: minutes.
rm -f /var/lib/man-db/auto-update
dpkg -i "$deb" >/dev/null || { say "the package does not install"; exit 1; }
udevadm control --reload
say "package installed"
useradd -m -G plugdev "$user" || { say "no user"; exit 1; }
as_user test -r "$image" -a -w "$results" || { say "the test user cannot read $image or write $results"; exit 1; }

# start_gadget PORT [VAR=VALUE...] -- [OPTION...]: the device on dummy_udc.PORT,
# until stop_gadget PORT; waits until it is bound.
start_gadget() {
    local port=$1
    shift
    local environment=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do environment+=("$1"); shift; done
    shift
    gadget_runs=$((gadget_runs + 1))
    local ready=/run/gadget-ready-$gadget_runs
    gadget_logs[$port]=$results/gadget-$gadget_runs-port$port.log
    env FWUP_DEMO_DELAY_MS=0 "${environment[@]}" "$gadget" --udc="dummy_udc.$port" \
        --name="fwup$gadget_runs-" --serial="FWUP$port" --log="${gadget_logs[$port]}" \
        --ready="$ready" "$@" 2>>"$results/gadget-$port.stderr" &
    gadget_pids[$port]=$!
    for _ in $(seq 100); do [ -f "$ready" ] && return 0; sleep 0.1; done
    fail "the gadget on port $port did not start: $(tail -n 1 "$results/gadget-$port.stderr")"
    return 1
}
stop_gadget() {
    local port=$1 pid=${gadget_pids[$1]:-}
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    unset "gadget_pids[$port]"
    # Closing its endpoint files takes the function off the bus.
    for udc in /sys/kernel/config/usb_gadget/*/UDC; do
        [ "$(cat "$udc" 2>/dev/null)" = "dummy_udc.$port" ] && echo "" >"$udc"
    done
    udevadm settle -t 10
}
stop_all() { for port in "${!gadget_pids[@]}"; do stop_gadget "$port"; done; }

# The block device of the disk on dummy_udc.PORT, once the sd driver has it.
disk_on_port() {
    local port=$1 name
    for _ in $(seq 150); do
        for name in $(ls /sys/block | grep '^sd'); do
            if readlink -f "/sys/block/$name" | grep -q "/dummy_hcd.$port/"; then
                udevadm settle -t 10
                echo "/dev/$name"
                return 0
            fi
        done
        sleep 0.2
    done
    return 1
}
# Waits until the device on dummy_udc.PORT is in vendor mode (usbfs node there).
vendor_on_port() {
    local port=$1
    for _ in $(seq 150); do
        for device in /sys/bus/usb/devices/*; do
            [ "$(cat "$device/idProduct" 2>/dev/null)" = 7639 ] || continue
            readlink -f "$device" | grep -q "/dummy_hcd.$port/" || continue
            udevadm settle -t 10
            basename "$device"
            return 0
        done
        sleep 0.2
    done
    return 1
}

# json FILE FILTER
json() { jq -r "$2" "$1" 2>/dev/null; }

# --- Storage mode: list, clear as the user and as root, the re-plug, update.
case_storage() {
    start_gadget 0 FWUP_DEMO_REPORT="$results/held-real" -- || return
    local disk port
    disk=$(disk_on_port 0) || { fail "storage: no block device for the gadget"; return; }
    say "storage: the gadget is $disk"
    $program list --json >"$results/list-root.json"
    check "storage: root lists $disk with version 2.40" \
        test "$(json "$results/list-root.json" ".devices[] | select(.block_device==\"$disk\") | .version")" = 2.40
    as_user $program list --json >"$results/list-user.json"
    check "storage: the user sees $disk, unreadable without root" \
        test "$(json "$results/list-user.json" ".devices[] | select(.block_device==\"$disk\") | .readable")" = false
    local status=0
    as_user $program clear --device "$disk" --yes --json >"$results/clear-user.json" 2>"$results/clear-user.err" || status=$?
    check "storage: clear as the user ends in no-permission (6), got $status" test $status -eq 6
    check "storage: clear as the user sends no erase" bash -c "! grep -q '87 ff' '${gadget_logs[0]}'"
    status=0
    $program clear --device "$disk" --yes --json >"$results/clear-root.json" 2>&1 || status=$?
    check "storage: clear as root erases (0), got $status" test $status -eq 0
    port=$(vendor_on_port 0) || { fail "storage: the device never came back in vendor mode"; return; }
    pass "storage: re-plugged in vendor mode at port $port"
    as_user $program list --json >"$results/list-vendor.json"
    check "storage: the user lists the vendor-mode device by its port $port" \
        test "$(json "$results/list-vendor.json" ".devices[] | select(.mode==\"vendor\") | .id" | head -n 1)" = "$port"
    local started real simulated
    started=$(now_ms)
    status=0
    as_user $program update --device "$port" --json >"$results/update-real.json" 2>&1 || status=$?
    real=$(( $(now_ms) - started ))
    check "storage: update over usbfs as the user (0), got $status" test $status -eq 0
    started=$(now_ms)
    as_user env FWUP_DEMO_REPORT="$results/held-simulated" $program --simulate update \
        --json >/dev/null 2>&1
    simulated=$(( $(now_ms) - started ))
    check "storage: the device holds what the simulated device holds" \
        cmp -s "$results/held-real" "$results/held-simulated"
    say "timing: update on the virtual bus ${real} ms, through --simulate ${simulated} ms"
    echo "$real $simulated" >"$results/update-timing"
    stop_gadget 0

    # run: clear, the re-plug seen through hot-plug events, update.
    start_gadget 0 -- || return
    disk=$(disk_on_port 0) || { fail "run: no block device"; return; }
    status=0
    timeout 120 $program run --device "$disk" --yes --wait 60 --json >"$results/run.json" 2>&1 || status=$?
    check "run: clear, re-plug and update (0), got $status" test $status -eq 0
    stop_gadget 0
}

# --- Faults on the real bus and in the simulation: one table, both ways.
# fault, the command, how the device starts, and what both must end in: the
# exit status and the JSON document's outcome (tests/station_faults.table).
fault_table=(
    "none            update vendor  0 updated"
    "data-rejected   update vendor  1 failed"
    "stalls          update vendor  1 failed"
    "stops-answering update vendor  1 failed"
    "unplugged       update vendor  1 failed"
    "erase-rejected  clear  storage 1 failed"
    "user-id-fails   clear  storage 1 user-id-unreadable"
    "none            clear  storage 0 erased"
    "never-returns   run    storage 8 erased-not-updated"
)
# How long run waits for a device that never comes back.
never_back_wait=3
case_faults() {
    local row fault command start expected_status expected_outcome target status outcome
    local sim_status sim_outcome real_side sim_side
    for row in "${fault_table[@]}"; do
        read -r fault command start expected_status expected_outcome <<<"$row"
        local row_started
        row_started=$(now_ms)
        local options=() answer=()
        [ "$start" = vendor ] && options+=(--start=vendor)
        [ "$command" = update ] && answer=(--image "$image")
        [ "$command" = update ] || answer=(--yes)
        [ "$command" = run ] && answer+=(--wait "$never_back_wait")
        start_gadget 1 FWUP_DEMO_FAULT="$fault" -- "${options[@]}" || continue
        status=0
        if [ "$start" = vendor ]; then
            target=$(vendor_on_port 1) || { fail "fault $fault: no vendor-mode device"; stop_gadget 1; continue; }
            timeout 60 runuser -u "$user" -- $program "$command" --device "$target" "${answer[@]}" \
                --json >"$results/fault-$fault-$command.json" 2>/dev/null || status=$?
        else
            # Clearing takes root (CAP_SYS_RAWIO).
            target=$(disk_on_port 1) || { fail "fault $fault: no block device"; stop_gadget 1; continue; }
            timeout 60 $program "$command" --device "$target" "${answer[@]}" \
                --json >"$results/fault-$fault-$command.json" 2>/dev/null || status=$?
        fi
        outcome=$(json "$results/fault-$fault-$command.json" '.devices[0].outcome')
        sim_status=0
        as_user env FWUP_DEMO_FAULT="$fault" timeout 60 $program --simulate "$command" \
            "${answer[@]}" --json >"$results/fault-$fault-$command-sim.json" 2>/dev/null || sim_status=$?
        sim_outcome=$(json "$results/fault-$fault-$command-sim.json" '.devices[0].outcome')
        real_side="real bus $outcome/$status" sim_side="simulation $sim_outcome/$sim_status"
        check "fault $fault ($command): $real_side, expected $expected_outcome/$expected_status" \
            test "$outcome/$status" = "$expected_outcome/$expected_status"
        check "fault $fault ($command): $sim_side, expected $expected_outcome/$expected_status" \
            test "$sim_outcome/$sim_status" = "$expected_outcome/$expected_status"
        check "fault $fault ($command): $real_side, the same as the $sim_side" \
            test "$outcome/$status" = "$sim_outcome/$sim_status"
        # The faults in the middle of a download did happen there on the bus.
        local fired=
        [ "$fault" = stops-answering ] && fired=silent
        [ "$fault" = unplugged ] && fired="unplugged in the middle of a download"
        [ "$fault" = stalls ] && fired="reply pipe stalled"
        [ "$fault" = never-returns ] && fired="unplugged for good"
        [ -z "$fired" ] || check "fault $fault: the gadget logged '$fired'" grep -q "$fired" "${gadget_logs[1]}"
        if [ "$fault" = unplugged ]; then
            sleep 2
            target=$(vendor_on_port 1) || { fail "unplugged: the device did not come back"; }
            status=0
            timeout 60 runuser -u "$user" -- $program update --device "$target" --image "$image" \
                --json >"$results/fault-unplugged-again.json" 2>&1 || status=$?
            check "unplugged: back in vendor mode, a second update completes (0), got $status" \
                test $status -eq 0
        fi
        stop_gadget 1
        say "fault $fault ($command) took $(( $(now_ms) - row_started )) ms"
    done
}

# --- Four devices at once, one of them failing.
case_all() {
    local port status
    for port in 0 1 2 3; do
        local fault=none
        [ $port -eq 2 ] && fault=data-rejected
        start_gadget $port FWUP_DEMO_FAULT=$fault -- --start=vendor || return
    done
    for port in 0 1 2 3; do vendor_on_port $port >/dev/null || fail "all: port $port not in vendor mode"; done
    status=0
    timeout 120 runuser -u "$user" -- $program update --all --json >"$results/all.json" 2>/dev/null || status=$?
    check "all: four devices, one refuses data: exit 1, got $status" test $status -eq 1
    check "all: three updated" test "$(json "$results/all.json" '[.devices[] | select(.outcome=="updated")] | length')" = 3
    check "all: one failed" test "$(json "$results/all.json" '[.devices[] | select(.outcome=="failed")] | length')" = 1
    stop_all
}

# --- Several devices and several processes at once: each device erased once.
erases() { grep -c 'vendor command 87 ff' "${gadget_logs[$1]}"; }
check_one_erase_each() {  # check_one_erase_each WHAT PORT...
    local what=$1 port
    shift
    for port in "$@"; do
        check "$what: the device on port $port was erased once, $(erases $port) times" \
            test "$(erases $port)" = 1
    done
}
# parallel_phase NAME OUTCOME COMMAND...: four fresh gadgets in storage mode,
# COMMAND over all at once as root; it ends 0, each device in OUTCOME, and
# each gadget logged exactly one erase.
parallel_phase() {
    local name=$1 outcome=$2 port status=0 started
    shift 2
    started=$(now_ms)
    for port in 0 1 2 3; do start_gadget $port -- || return; done
    for port in 0 1 2 3; do disk_on_port $port >/dev/null || fail "parallel: no block device on port $port"; done
    timeout 240 $program "$@" --json >"$results/parallel-$name.json" 2>"$results/parallel-$name.err" ||
        status=$?
    check "parallel: $*, four devices (0), got $status" test $status -eq 0
    check "parallel: $* ends four $outcome" test "$(json "$results/parallel-$name.json" \
        "[.devices[] | select(.outcome==\"$outcome\")] | length")" = 4
    check_one_erase_each "parallel: $*" 0 1 2 3
    stop_all
    say "parallel: $* took $(( $(now_ms) - started )) ms"
}
case_parallel() {
    parallel_phase clear erased clear --all --yes
    parallel_phase run updated run --all --yes --wait 60

    # A device whose lock another process holds is told busy and sent
    # nothing more: the lock is the file the program takes, held here.
    start_gadget 0 -- || return
    local disk port status=0 first=0 second=0 pair gate=$results/parallel-gate
    disk=$(disk_on_port 0) || { fail "parallel: no block device for the lock"; return; }
    port=$($program list --json | jq -r ".devices[] | select(.block_device==\"$disk\") | .id")
    install -d -m 1777 /run/lock/firmware-updater
    # Held by this shell alone (the program gets no copy of the descriptor),
    # so that closing it lets the device go.
    exec 8>"/run/lock/firmware-updater/port%3A$port.lock"
    flock 8
    timeout 60 $program clear --device "$disk" --yes --json >"$results/parallel-held.json" \
        2>/dev/null 8>&- || status=$?
    exec 8>&-
    check "parallel: a device held by another process is busy (3/busy), got $status/$(json \
        "$results/parallel-held.json" '.devices[0].outcome')" \
        test "$status/$(json "$results/parallel-held.json" '.devices[0].outcome')" = 3/busy
    check "parallel: a device held by another process is not erased" test "$(erases 0)" = 0

    # Two processes started at the same moment on one device: one erases; the
    # other is told the device is busy or, let in once the first is done,
    # finds the device gone (it left the bus after its erase).
    # Both wait on a lock this shell holds, and start when it lets go.
    exec 9>"$gate"
    flock 9
    flock -s "$gate" $program clear --device "$disk" --yes --json >"$results/parallel-two-1.json" 2>/dev/null 9>&- &
    local one=$!
    flock -s "$gate" $program clear --device "$disk" --yes --json >"$results/parallel-two-2.json" 2>/dev/null 9>&- &
    local two=$!
    sleep 1
    flock -u 9
    exec 9>&-
    wait $one || first=$?
    wait $two || second=$?
    pair=$(printf '%s\n' "$first/$(json "$results/parallel-two-1.json" '.devices[0].outcome')" \
                          "$second/$(json "$results/parallel-two-2.json" '.devices[0].outcome')" | sort | tr '\n' ' ')
    check "parallel: two processes on one device: one 0/erased, one 3, got $pair" \
        grep -Eq '^0/erased 3/(busy|no-device|null) $' <<<"$pair"
    check_one_erase_each "parallel: two processes on one device" 0
    stop_all
}

# --- run --confirm: after a complete download the device restarts, back on
# the same port in storage mode at the image's version unless its fault says
# otherwise; the program reads it back there. fault, the mode it comes back
# in, the version it then reads on the bus, and what run --confirm ends in:
# exit status/outcome/confirmation/version read back.
confirm_table=(
    "none                    storage 2.40 0/confirmed/confirmed/2.40"
    "wrong-version           storage 2.41 9/not-confirmed/wrong-version/2.41"
    "firmware-does-not-start vendor  -    9/not-confirmed/did-not-start/null"
)
# Waits until the gadget on PORT has logged TEXT.
gadget_logged() {
    local port=$1 text=$2
    for _ in $(seq 100); do grep -qF "$text" "${gadget_logs[$port]}" && return 0; sleep 0.1; done
    return 1
}
version_of() { $program list --json | jq -r ".devices[] | select(.block_device==\"$1\") | .version"; }
case_confirm() {
    local row fault mode version expected disk status got
    for row in "${confirm_table[@]}"; do
        read -r fault mode version expected <<<"$row"
        start_gadget 0 FWUP_DEMO_VERSION=0230 FWUP_DEMO_FAULT="$fault" -- || return
        disk=$(disk_on_port 0) || { fail "confirm $fault: no block device"; stop_gadget 0; continue; }
        check "confirm $fault: the unit arrives at 2.30" test "$(version_of "$disk")" = 2.30
        status=0
        timeout 120 $program run --confirm --device "$disk" --yes --wait 60 --json \
            >"$results/confirm-$fault.json" 2>"$results/confirm-$fault.err" || status=$?
        got=$status/$(json "$results/confirm-$fault.json" \
            '.devices[0] | "\(.outcome)/\(.confirmation)/\(.version_after)"')
        check "confirm $fault: run --confirm ends $expected, got $got" test "$got" = "$expected"
        check "confirm $fault: the device restarted in $mode mode" \
            gadget_logged 0 "plugged in: $mode mode,"
        if [ "$mode" = storage ]; then
            disk=$(disk_on_port 0) || { fail "confirm $fault: not back as a disk"; stop_gadget 0; continue; }
            check "confirm $fault: the bus shows it at $version" test "$(version_of "$disk")" = "$version"
        else
            check "confirm $fault: the bus shows it in vendor mode" vendor_on_port 0
        fi
        check_one_erase_each "confirm $fault" 0
        stop_gadget 0
    done
}

# --- A bench: the station serves four ports; the guest plays the person who
# plugs a unit in, and once the record says it ended, takes it out and plugs
# the next one into the same port. Two units a port, each with its own serial.
bench_ports=(0 1 2 3)
bench_units=2
declare -A bench_unit=()  # port: the unit plugged into it now
bench_logs=()
bench_serial() { echo "UNIT$1-$2"; }
plug_unit() {  # plug_unit PORT UNIT
    start_gadget "$1" FWUP_DEMO_VERSION=0230 -- --serial="$(bench_serial "$1" "$2")" || return
    bench_unit[$1]=$2
    bench_logs+=("${gadget_logs[$1]}")
}
# The serials of the units the record says ended, one a line.
ended_serials() { jq -r 'select(.record == "end") | .storage_serial' "$1" 2>/dev/null; }
case_bench() {
    local record=$results/bench-record.jsonl events=$results/bench-events.jsonl
    local port unit station status=0 started expected units=$(( ${#bench_ports[@]} * bench_units ))
    started=$(now_ms)
    rm -f "$record" "$events"
    bench_logs=()
    # Erasing takes root (CAP_SYS_RAWIO).
    timeout 300 $program station --yes --units $units \
        --record "$record" --json --wait 60 >"$events" 2>"$results/bench.err" &
    station=$!
    for port in "${bench_ports[@]}"; do plug_unit "$port" 1 || { kill "$station"; return; }; done
    while kill -0 "$station" 2>/dev/null; do
        for port in "${bench_ports[@]}"; do
            unit=${bench_unit[$port]}
            [ "$unit" -lt $bench_units ] || continue
            ended_serials "$record" | grep -qxF "$(bench_serial "$port" "$unit")" || continue
            stop_gadget "$port"
            plug_unit "$port" $((unit + 1)) || kill "$station"
        done
        sleep 0.2
    done
    wait "$station" || status=$?
    say "bench: the station served $(ended_serials "$record" | wc -l) units in $(( $(now_ms) - started )) ms"
    check "bench: the station ends 0 after its units, got $status" test $status -eq 0
    expected=$(for port in "${bench_ports[@]}"; do
                   for unit in $(seq $bench_units); do bench_serial "$port" "$unit"; done
               done | sort | tr '\n' ' ')
    check "bench: the record ends each unit plugged in, once: $expected" \
        test "$(ended_serials "$record" | sort | tr '\n' ' ')" = "$expected"
    check "bench: every unit ended confirmed" test "$(jq -s \
        '[.[] | select(.record == "end" and .outcome != "confirmed")] | length' "$record")" = 0
    check "bench: the record starts each unit once" test "$(jq -s \
        '[.[] | select(.record == "start") | .storage_serial] | unique | length' "$record")/$(jq -s \
        '[.[] | select(.record == "start")] | length' "$record")" = $units/$units
    # The record's port of both units of a port is one, and no other port's.
    check "bench: two units a port, the record's port that of the port they were plugged into" \
        test "$(jq -s -c '[.[] | select(.record == "end")] | group_by(.port)
              | map([.[].storage_serial | split("-")[0]] | unique + [length]) | sort' "$record")" = \
             '[["UNIT0",2],["UNIT1",2],["UNIT2",2],["UNIT3",2]]'
    local log erased=0 restarted=0
    for log in "${bench_logs[@]}"; do
        [ "$(grep -c 'vendor command 87 ff' "$log")" = 1 ] && erased=$((erased + 1))
        grep -q 'plugged in: storage mode, version 2.40' "$log" && restarted=$((restarted + 1))
    done
    check "bench: each of the $units units was erased once: $erased were" test $erased = $units
    check "bench: each of the $units units came back at 2.40: $restarted did" test $restarted = $units
    check "bench: the events are JSON objects, one a line" test "$(wc -l <"$events")" -gt 0 -a \
        "$(jq -R -n '[inputs | fromjson | objects] | length' "$events" 2>/dev/null)" = "$(wc -l <"$events")"
    stop_all
}

# --- Ordinary USB sticks: never taken for the device, never erased.
case_sticks() {
    start_gadget 2 -- --kind=stick-refuses || return
    start_gadget 3 -- --kind=stick-silent || return
    local refusing silent status
    refusing=$(disk_on_port 2) || { fail "sticks: no block device for the refusing stick"; return; }
    silent=$(disk_on_port 3) || { fail "sticks: no block device for the silent stick"; return; }
    local started
    started=$(now_ms)
    status=0
    timeout 120 $program list --json >"$results/sticks-list.json" 2>"$results/sticks-list.err" || status=$?
    say "sticks: list as root ended with $status in $(( $(now_ms) - started )) ms"
    check "sticks: the refusing stick is not listed as a device" \
        test -z "$(json "$results/sticks-list.json" ".devices[] | select(.block_device==\"$refusing\") | .id")"
    check "sticks: the silent stick is not listed as a device" \
        test -z "$(json "$results/sticks-list.json" ".devices[] | select(.block_device==\"$silent\") | .id")"
    status=0
    timeout 120 $program clear --device "$refusing" --yes --json >"$results/sticks-clear.json" 2>&1 || status=$?
    say "sticks: clear of the refusing stick ended with $status"
    check "sticks: clear of the refusing stick fails" test $status -ne 0
    check "sticks: the clear of the refusing stick asked the silent one nothing" \
        test "$(grep -c '87 10' "${gadget_logs[3]}")" = 1
    check "sticks: no stick was ever sent an erase" \
        bash -c "! cat '${gadget_logs[2]}' '${gadget_logs[3]}' | grep -q '87 ff'"
    stop_all
}

# --- The Windows program under Wine, its drives the gadgets' disks: the real
# pass-through requests, through Wine's SG_IO, on the kernel's bus.
# In the guest's memory: the prefix run-kernel-tests.sh made, if it could,
# else one made here.
wine_prefix=/tmp/wine
wine_environment=(HOME=/root "WINEPREFIX=$wine_prefix" WINEARCH=win32 WINEDEBUG=-all
                  "WINEDLLOVERRIDES=mscoree,mshtml=" LC_ALL=C.UTF-8)
wine_env() { env "${wine_environment[@]}" "$@" </dev/null; }
# The dialog driven from outside (fwup-dialog-driver STEP...), its output in
# results/NAME.out.
drive_dialog() {
    local name=$1
    shift
    timeout 240 env "${wine_environment[@]}" wine "$windows/fwup-dialog-driver.exe" \
        'Z:'"$(echo "$windows/firmware-updater.exe" | tr / '\\')" "$@" \
        </dev/null >"$results/$name.txt" 2>"$results/$name.err"
    tr -d '\r' <"$results/$name.txt" >"$results/$name.out"
}
seen() { grep -qxF "$2" "$results/$1.out"; }
case_wine() {
    local started stick disk
    started=$(now_ms)
    mkdir -p "$wine_prefix"
    if [ -f "$wine_prefix_tar" ]; then
        tar -xf "$wine_prefix_tar" --no-same-owner -C "$wine_prefix"
        say "wine: prefix unpacked in $(( $(now_ms) - started )) ms"
    else
        wine_env wine wineboot -i >/dev/null 2>&1
        wine_env wineserver -w
        wine_env wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        for drive in e: f:; do
            wine_env wine reg add 'HKLM\Software\Wine\Drives' /v $drive /d floppy /f >/dev/null 2>&1
        done
        wine_env wineserver -k
        wine_env wineserver -w
        say "wine: prefix made in the guest in $(( $(now_ms) - started )) ms"
    fi
    # E: an ordinary stick, F: the device: the search asks E: first.
    start_gadget 2 -- --kind=stick-refuses || return
    start_gadget 0 FWUP_DEMO_REPORT="$results/held-wine" -- || return
    stick=$(disk_on_port 2) || { fail "wine: no block device for the stick"; return; }
    disk=$(disk_on_port 0) || { fail "wine: no block device for the device"; return; }
    mkdir -p /tmp/wine-e /tmp/wine-f
    ln -sfn /tmp/wine-e "$wine_prefix/dosdevices/e:"
    ln -sfn "$stick" "$wine_prefix/dosdevices/e::"
    ln -sfn /tmp/wine-f "$wine_prefix/dosdevices/f:"
    ln -sfn "$disk" "$wine_prefix/dosdevices/f::"
    started=$(now_ms)
    wine_env wineserver -p >/dev/null 2>&1
    wine_env wine cmd /c exit >/dev/null 2>&1
    say "wine: started in $(( $(now_ms) - started )) ms"
    # The driver's pipes, served once the device is back in vendor mode.
    env "${wine_environment[@]}" "$windows/fwup-usb-pipe-bridge" --serial=FWUP0 \
        --dir=/tmp/wine-pipes --ready=/tmp/wine-pipes-ready --log="$results/wine-bridge.log" \
        </dev/null 2>"$results/wine-bridge.err" &
    local bridge=$!

    # Clear, Yes: the version, the user id, the question, the erase, and the
    # device back on the bus in vendor mode; the stick asked its version
    # only. Then Update, through the pipes, over the bus.
    drive_dialog wine clear update --serial=FWUP0 --ready='Z:\tmp\wine-pipes-ready'
    kill "$bridge" 2>/dev/null
    wait "$bridge" 2>/dev/null
    say "wine: $(tr '\n' ' ' <"$results/wine.out")"
    check "wine: the dialog asked the question for version 2.40" \
        seen wine "question: Then current version is V2.40, whether to update ？"
    check "wine: the dialog's status line shows the Clear succeeded" \
        seen wine "status: Clear the original firmware successfully"
    local command
    for command in "87 10" "87 aa" "87 ff"; do
        check "wine: the device received $command" grep -q "vendor command $command" "${gadget_logs[0]}"
    done
    check "wine: the device erased and re-plugged in vendor mode" \
        grep -q "plugged in: vendor mode" "${gadget_logs[0]}"
    # After the Update the device restarts in storage mode on the same port.
    check "wine: the device came back in storage mode at 2.40 after the Update" \
        gadget_logged 0 "plugged in: storage mode, version 2.40"
    check "wine: and the bus shows it as a disk again" disk_on_port 0
    check "wine: the stick as E: was asked its version and nothing else, never an erase" \
        test "$(grep "vendor command" "${gadget_logs[2]}" | cut -d ' ' -f 3-)" = "vendor command 87 10"
    check "wine: the dialog's status line shows the Update succeeded" \
        seen wine "status: Update the firmware successfully"
    check "wine: every command through the pipes was answered on the bus" \
        bash -c "grep -q '^command' '$results/wine-bridge.log' &&
                 ! grep '^command' '$results/wine-bridge.log' | grep -qv answered"
    as_user env FWUP_DEMO_REPORT="$results/held-wine-simulated" $program --simulate update \
        --json >/dev/null 2>&1
    check "wine: the device holds what the simulated device holds after the same update" \
        cmp -s "$results/held-wine" "$results/held-wine-simulated"
    wine_env wineserver -k
    stop_all
}

started=$(now_ms)
for name in $cases; do
    say "== $name"
    case_started=$(now_ms)
    "case_$name"
    stop_all
    say "$name took $(( $(now_ms) - case_started )) ms"
    cp -R "$results/." "$host_results/"
done
dmesg >"$results/dmesg.txt"
cp -R "$results/." "$host_results/"
say "done in $(( $(now_ms) - started )) ms, $failures failed"
[ $failures -eq 0 ]

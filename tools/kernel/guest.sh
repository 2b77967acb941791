#!/usr/bin/env bash
# Runs one script as root inside a virtual machine with Debian's own kernel,
# and returns its exit status; the guest's console goes to standard output.
#
# usage: tools/kernel/guest.sh WORKDIR SCRIPT [ARGUMENT...]
#
# The guest's root is the host's, shared read-only over 9p under a tmpfs
# overlay (the guest may install packages and add users without touching the
# host); WORKDIR, an absolute path, is shared read-write at the same path, so
# what the script leaves there comes back. SCRIPT runs with the kernel's
# modules in /lib/modules, configfs, /tmp and /run mounted. The kernel
# package is fetched once from Debian's archive and kept in build/kernel/.
# KVM where /dev/kvm is usable, TCG otherwise. FWUP_GUEST_MEMORY (MiB, 2048
# by default) sizes the guest; FWUP_GUEST_SECONDS (600 by default) bounds it:
# a guest still running then is stopped, and the status is 124.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cache=$root/build/kernel

[ $# -ge 2 ] || { echo "usage: $0 WORKDIR SCRIPT [ARGUMENT...]" >&2; exit 2; }
workdir=$1
shift
case $workdir in /*) ;; *) echo "WORKDIR must be absolute: $workdir" >&2; exit 2 ;; esac
mkdir -p "$workdir" "$cache"

# --- The kernel: the package linux-image-amd64 depends on, unpacked once.
prepare_kernel() {
    local package deb version
    package=$(apt-cache depends linux-image-amd64 2>/dev/null |
              sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
    deb=$(ls "$cache"/linux-image-*-amd64_*.deb 2>/dev/null | head -n 1 || true)
    if [ -z "$deb" ]; then
        [ -n "$package" ] || { echo "apt-cache names no kernel package" >&2; return 1; }
        (cd "$cache" && apt-get download -q "$package" 2>&1 | grep -v "unsandboxed" >&2 || true)
        deb=$(ls "$cache"/linux-image-*-amd64_*.deb 2>/dev/null | head -n 1 || true)
        [ -n "$deb" ] || { echo "could not download $package" >&2; return 1; }
    fi
    if [ ! -f "$cache/root/.unpacked" ] || [ "$cache/root/.unpacked" -ot "$deb" ]; then
        rm -rf "$cache/root"
        dpkg-deb -x "$deb" "$cache/root"
        version=$(ls "$cache/root/lib/modules")
        depmod -b "$cache/root" "$version"
        echo "$version" >"$cache/root/.unpacked"
    fi
}

# --- The initramfs: busybox, the modules that reach the shared root, /init.
prepare_initramfs() {
    local version=$1 staging=$cache/initramfs modules
    local image=$cache/initrd-$version.cpio.gz
    [ -f "$image" ] && [ "$image" -nt "$root/tools/kernel/guest.sh" ] && return 0
    rm -rf "$staging"
    mkdir -p "$staging"/{bin,dev,proc,sys,host,upper,newroot,lib/modules}
    cp /bin/busybox "$staging/bin/busybox"
    # In load order, dependencies first; the built-in ones need nothing.
    modules=$(for name in virtio_pci 9pnet_virtio 9p overlay; do
                  modprobe -d "$cache/root" -S "$version" --show-depends "$name"
              done | awk '$1 == "insmod" {print $2}')
    : >"$staging/module-list"
    for module in $modules; do
        relative=${module#"$cache/root"}
        mkdir -p "$staging/$(dirname "$relative")"
        cp "$module" "$staging/$relative"
        grep -qx "$relative" "$staging/module-list" || echo "$relative" >>"$staging/module-list"
    done
    cat >"$staging/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /module-list); do insmod "$module" 2>/dev/null; done
work=$(sed -n 's/.*fwup\.work=\([^ ]*\).*/\1/p' /proc/cmdline)
script=$(sed -n 's/.*fwup\.script=\([^ ]*\).*/\1/p' /proc/cmdline)
share="-t 9p -o trans=virtio,version=9p2000.L,msize=262144"
mount $share,ro host /host || { echo "the host's root is not shared"; poweroff -f; }
mount -t tmpfs -o size=75% tmpfs /upper
mkdir -p /upper/upper /upper/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/upper/upper,workdir=/upper/work /newroot
mkdir -p /newroot/lib/modules "/newroot$work"
mount $share,ro modules /newroot/lib/modules
mount $share work "/newroot$work"
for place in proc sys dev; do mount --move /$place /newroot/$place; done
exec switch_root /newroot /bin/bash "$work/.guest-start" "$script"
INIT
    chmod +x "$staging/init"
    (cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) >"$image.new"
    mv "$image.new" "$image"
}

prepare_kernel
version=$(cat "$cache/root/.unpacked")
prepare_initramfs "$version"

# What the guest runs once its root is there: the mounts a system has, the
# script, its status into WORKDIR, and off.
rm -f "$workdir/.guest-status"
cp "$1" "$workdir/.guest-script"
shift
arguments=$(printf ' %q' "$@")
cat >"$workdir/.guest-start" <<START
#!/bin/bash
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
# A work folder under /tmp would be hidden by the guest's own /tmp: it is
# moved aside and put back on top.
mkdir -p /mnt/work && mount --bind "$workdir" /mnt/work
mount -t tmpfs tmpfs /tmp
mkdir -p "$workdir" && mount --move /mnt/work "$workdir"
mount -t tmpfs tmpfs /run
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
modprobe configfs && mount -t configfs configfs /sys/kernel/config
cd "$workdir"
status=0
bash "$workdir/.guest-script"$arguments || status=\$?
echo \$status >"$workdir/.guest-status"
sync
poweroff -f
START

# KVM where it works: some hosts (nested virtualisation) offer /dev/kvm yet
# refuse the host CPU's ARCH_CAPABILITIES register, or never run the kernel.
# A short boot without a root tells, once per machine.
choose_accelerator() {
    local found=$cache/accelerator
    [ -f "$found" ] && { cat "$found"; return; }
    local choice="tcg max"
    if [ -r /dev/kvm ] && [ -w /dev/kvm ] &&
       timeout 15 qemu-system-x86_64 -accel kvm -cpu host,-arch-capabilities -m 256 \
           -kernel "$cache/root/boot/vmlinuz-$version" -append "console=ttyS0 panic=-1" \
           -nographic -nodefaults -no-reboot -serial stdio </dev/null 2>/dev/null |
           grep -q -m 1 "Linux version"; then
        choice="kvm host,-arch-capabilities"
    fi
    echo "$choice" | tee "$found"
}
read -r accel cpu <<<"$(choose_accelerator)"
# QEMU's TCG (7.2) reads the frame of an IRET in a 32-bit program as the
# kernel would: with SMAP on, the guest's kernel takes an oops on it, and
# 32-bit Wine returns from every exception that way.
[ "$accel" != tcg ] || cpu+=,smap=off
share=security_model=none,multidevs=remap
started=$(date +%s)
status=0
timeout -k 5 "${FWUP_GUEST_SECONDS:-600}" \
    qemu-system-x86_64 -accel "$accel" -cpu "$cpu" -smp 2 -m "${FWUP_GUEST_MEMORY:-2048}" \
    -kernel "$cache/root/boot/vmlinuz-$version" -initrd "$cache/initrd-$version.cpio.gz" \
    -append "console=ttyS0 panic=-1 loglevel=4 fwup.work=$workdir fwup.script=x" \
    -nographic -no-reboot -nodefaults -serial stdio \
    -virtfs "local,path=/,mount_tag=host,$share,readonly=on" \
    -virtfs "local,path=$cache/root/lib/modules,mount_tag=modules,$share,readonly=on" \
    -virtfs "local,path=$workdir,mount_tag=work,$share" </dev/null || status=$?
echo "the guest ran $(( $(date +%s) - started )) s"
[ $status -ne 124 ] || { echo "the guest was stopped after ${FWUP_GUEST_SECONDS:-600} s" >&2; exit 124; }
[ -f "$workdir/.guest-status" ] || { echo "the guest ended without a status" >&2; exit 125; }
exit "$(cat "$workdir/.guest-status")"

#!/usr/bin/env bash
# Builds the Debian package of firmware-updater (preset linux), checks what it
# holds and what lintian says of it, installs it with dpkg, runs the installed
# program and removes the package again. Any step that fails fails the run; the package is removed
# on every path once installed.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
package=firmware-updater

# dpkg ARGUMENTS...: waits (up to 2 minutes) while apt or another dpkg holds
# dpkg's lock, as they do on a shared machine.
dpkg_waiting() {
    local errors
    errors=$(mktemp)
    for _ in $(seq 60); do
        if $sudo dpkg "$@" 2>"$errors"; then
            cat "$errors" >&2
            rm -f "$errors"
            return 0
        fi
        if ! grep -q "lock" "$errors"; then
            cat "$errors" >&2
            rm -f "$errors"
            return 1
        fi
        sleep 2
    done
    cat "$errors" >&2
    rm -f "$errors"
    return 1
}

# The README's route for Linux alone, without its tests: the host build has
# built and run the same tests already, and they were half of this build.
cmake --preset linux -DFWUP_BUILD_TESTS=OFF
cmake --build --preset linux
rm -f build/linux/${package}_*.deb
cpack --preset linux
debs=(build/linux/"$package"_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "cpack made no single .deb" >&2
    exit 1
fi
deb=${debs[0]}

contents=$(dpkg-deb --contents "$deb")
for path in usr/bin/firmware-updater \
            usr/lib/udev/rules.d/60-firmware-updater.rules \
            usr/share/man/man1/firmware-updater.1.gz \
            usr/share/bash-completion/completions/firmware-updater \
            usr/share/doc/firmware-updater/copyright \
            usr/share/doc/firmware-updater/changelog.gz; do
    grep -q " \./$path\$" <<<"$contents" || { echo "$deb lacks /$path" >&2; exit 1; }
done
for script in postinst postrm; do
    dpkg-deb --info "$deb" "$script" >/dev/null 2>&1 || { echo "$deb lacks its $script" >&2; exit 1; }
done
maintainer=$(dpkg-deb --field "$deb" Maintainer)
[[ $maintainer == *"<"*@*">" && $maintainer != *localhost* ]] ||
    { echo "no address to reach the maintainer: $maintainer" >&2; exit 1; }
# Errors and warnings fail the run; what the package does on purpose is
# overridden in it, with the reason (packaging/lintian-overrides).
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
[[ $depends == *libusb-1.0-0* ]] || { echo "Depends lacks libusb-1.0-0: $depends" >&2; exit 1; }
version=$(dpkg-deb --field "$deb" Version)
echo "$deb: version $version, Depends: $depends"

dpkg_waiting --install "$deb" || { dpkg_waiting --remove "$package" || true; exit 1; }
status=0
installed_version=$(/usr/bin/firmware-updater --version) || status=$?
echo "$installed_version"
if [ $status -eq 0 ] && [[ $installed_version != *"$version"* ]]; then
    echo "the installed program does not say version $version" >&2
    status=1
fi
if [ $status -eq 0 ] &&
   ! bash -c 'source /usr/share/bash-completion/completions/firmware-updater &&
              complete -p firmware-updater' >/dev/null; then
    echo "the installed bash completion does not load" >&2
    status=1
fi
dpkg_waiting --remove "$package"
[ $status -eq 0 ] || exit $status
! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    { echo "$package is still installed" >&2; exit 1; }
echo "The package installs, runs and goes again."

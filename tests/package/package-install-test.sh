#!/usr/bin/env bash
# Builds the Debian package, checks it with the distribution's tools, installs it into a clean
# Debian 12 root with apt resolving its dependencies, runs it there and removes it again. It needs
# root and the Debian mirror; without them it skips (exit 77).
set -euo pipefail
repository="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
mirror="${TARNWELL_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || skip "installing into a clean root needs root"
for tool in debootstrap lintian desktop-file-validate appstreamcli dpkg-deb; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/lib/dependencies.sh installs it)"
done
host="${mirror#*://}"
host="${host%%/*}"
timeout 10 bash -c "exec 3<>/dev/tcp/$host/80" 2>/dev/null || skip "the Debian mirror $host cannot be reached"

# TARNWELL_PACKAGE names a package built already, to try the installation alone.
package="${TARNWELL_PACKAGE:-$("$repository/scripts/package" | tail -n 1)}"
[ -f "$package" ] || fail "scripts/package made no package"
echo "package: $package"
dpkg-deb --info "$package" | sed -n 's/^ \(Depends\|Recommends\):/\1:/p'

# Errors fail the test; the warnings kept are listed in the README.
lintian --fail-on error --tag-display-limit 0 "$package" || fail "lintian found errors"

work="$(mktemp -d /var/tmp/tarnwell-package.XXXXXX)"
system="$work/root"
cleanup() {
    for mounted in "$system/proc"; do
        mountpoint -q "$mounted" && umount "$mounted"
    done
    rm -rf "$work"
}
trap cleanup EXIT

echo "debootstrap into $system"
debootstrap --variant=minbase bookworm "$system" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
mount -t proc proc "$system/proc"
# Services the dependencies bring are not started in a root that is not running.
printf '#!/bin/sh\nexit 101\n' >"$system/usr/sbin/policy-rc.d"
chmod +x "$system/usr/sbin/policy-rc.d"

# The user's configuration, which removing the package must keep.
mkdir -p "$system/root/.config/Tarnwell"
echo '[General]' >"$system/root/.config/Tarnwell/Tarnwell.conf"
cp "$package" "$system/tmp/tarnwell.deb"
in_root() { chroot "$system" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /tmp/tarnwell.deb \
    >"$work/install.log" 2>&1 || { tail -n 30 "$work/install.log"; fail "apt could not install the package"; }

version="$(in_root tarnwell --version)"
echo "installed: $version"
[ "$version" = "Tarnwell $(dpkg-deb --field "$package" Version)" ] || fail "tarnwell --version said: $version"
status="$(in_root tarnwell --status)" || fail "tarnwell --status failed without a display: $status"
echo "status without a display or an instance: $status"
entry="$system/usr/share/applications/tarnwell.desktop"
[ -f "$entry" ] || fail "the desktop entry is not where desktops look"
desktop-file-validate "$entry" || fail "desktop-file-validate rejected the installed entry"
icon="$(sed -n 's/^Icon=//p' "$entry")"
[ -f "$system/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the icon $icon is not in the hicolor theme"
appstreamcli validate --no-net "$system/usr/share/metainfo/org.tarnwell.Tarnwell.metainfo.xml" ||
    fail "appstreamcli rejected the installed metainfo"
[ -f "$system/usr/share/man/man1/tarnwell.1.gz" ] || fail "the manual page is missing"

in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tarnwell >"$work/remove.log" 2>&1 ||
    { tail -n 30 "$work/remove.log"; fail "apt could not remove the package"; }
# What the package pulled in stays; nothing of its own may, but the user's configuration.
for file in $(dpkg-deb --fsys-tarfile "$package" | tar -t | grep -v '/$'); do
    [ ! -e "$system/${file#./}" ] || fail "removing the package left $file behind"
done
left="$(cd "$system" && find . -xdev -path ./proc -prune -o -path ./tmp -prune -o -iname '*tarnwell*' -print |
    grep -v '^\./root/\.config/Tarnwell' || true)"
[ -z "$left" ] || fail "removing the package left behind: $left"
[ -f "$system/root/.config/Tarnwell/Tarnwell.conf" ] || fail "removing the package took the user's configuration"
echo "installed, ran and removed cleanly"

#!/usr/bin/env bash
# Installs what building, running and testing tarnivel needs on Debian 12, and any further
# packages named as arguments (tools/package.sh names its own). Idempotent.
set -euo pipefail
packages=(cmake ninja-build make g++ clang libclang-rt-14-dev lld qt6-base-dev qt6-base-dev-tools
          qt6-multimedia-dev libgl-dev fonts-ipafont-gothic fontconfig valgrind qt6-translations-l10n
          libboost-dev libboost-program-options-dev libhiredis-dev pkg-config redis-server
          libssl-dev libsystemd-dev openssl util-linux python3 clang-format
          iproute2 nftables scdoc man-db desktop-file-utils appstream
          libavahi-client-dev avahi-daemon dbus-daemon
          libminiupnpc-dev libnatpmp-dev miniupnpd-nftables "$@")
# miniupnpd-nftables is only the daemon, for the port-mapping test's router namespace: it has
# no service and asks nothing (the "miniupnpd" package would add a system-wide service).
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# A package run that was cut short (a machine stopped mid-install) makes apt refuse everything
# until dpkg finishes it.
if [ -n "$(dpkg --audit 2>/dev/null)" ]; then
  DEBIAN_FRONTEND=noninteractive $sudo dpkg --configure -a
fi
if [ "${#missing[@]}" -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Let the Windows font names the settings file uses resolve to the IPA fonts.
here="$(cd "$(dirname "$0")/.." && pwd)"
conf=/etc/fonts/conf.d/65-tarnivel-ms-gothic.conf
if ! cmp -s "$here/resources/65-tarnivel-ms-gothic.conf" "$conf" 2>/dev/null; then
  $sudo install -m 644 "$here/resources/65-tarnivel-ms-gothic.conf" "$conf" && fc-cache -f >/dev/null 2>&1 || true
fi

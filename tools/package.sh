#!/usr/bin/env bash
# Builds the Debian packages tarnivel and tarnivel-directory from build/ (CPack; the
# dependencies come from dpkg-shlibdeps) into build/packages/, and checks them:
#  - lintian: no errors and no warnings (those left have a reason in packaging/*.lintian-overrides);
#  - each package unpacked with dpkg-deb -x into a scratch folder: its program's --version;
#  - with --install-root: both installed with apt into a throwaway Debian 12 root made by
#    debootstrap (it downloads a minimal system, and about 120 MB of dependencies, mostly
#    Qt and the media libraries Qt Multimedia needs), their programs run there, and both
#    are purged again.
# Usage: tools/package.sh [--install-root]
set -euo pipefail
cd "$(dirname "$0")/.."
install_root=false
[ "${1:-}" = "--install-root" ] && install_root=true
extra=(lintian dpkg-dev file)
$install_root && extra+=(debootstrap)
bash tools/install-deps.sh "${extra[@]}"
source tools/builds.sh
configure_build
cmake --build build --target tarnivel tarnivel-directory tarnivel_man_pages
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)"
rm -rf build/packages
cpack --config build/CPackConfig.cmake -B build/packages >/dev/null
arch="$(dpkg --print-architecture)"
debs=("build/packages/tarnivel_${version}_${arch}.deb" "build/packages/tarnivel-directory_${version}_${arch}.deb")
ls -l "${debs[@]}"

echo "== lintian"
lintian --fail-on error,warning --info --display-level '>=info' "${debs[@]}"
echo "lintian: no errors, no warnings"

# check_output EXPECTED COMMAND...: the command prints exactly EXPECTED.
check_output() {
  local expected="$1" out
  shift
  out="$("$@")"
  echo "$out"
  [ "$out" = "$expected" ] || { echo "expected: $expected" >&2; return 1; }
}

echo "== unpacked with dpkg-deb -x"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$scratch/unpacked"
done
# No display and no Qt platform: --version must not need one.
check_output "tarnivel $version" \
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$scratch/unpacked/usr/bin/tarnivel" --version
check_output "tarnivel-directory $version" "$scratch/unpacked/usr/bin/tarnivel-directory" --version

if $install_root; then
  echo "== installed into a throwaway Debian 12 root"
  root="$scratch/root"
  # The mirror apt on this machine uses.
  mirror="$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)"
  [ -n "$mirror" ] || mirror="$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list)"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$scratch/debootstrap.log" 2>&1 ||
    { tail -20 "$scratch/debootstrap.log"; exit 1; }
  cp "${debs[@]}" "$root/tmp/"
  chroot "$root" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq --no-install-recommends \
    "${debs[@]/#build\/packages\//\/tmp\/}" >"$scratch/apt.log" 2>&1 || { tail -30 "$scratch/apt.log"; exit 1; }
  check_output "tarnivel $version" chroot "$root" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM tarnivel --version
  check_output "tarnivel-directory $version" chroot "$root" tarnivel-directory --version
  # The installed server answers on loopback with the packaged rooms file.
  # The installed server starts with the packaged rooms file and stops cleanly on SIGTERM.
  chroot "$root" sh -c '
    tarnivel-directory --quiet --listen 127.0.0.1:0 --rooms /etc/tarnivel/rooms.txt 2>/tmp/server.log & pid=$!
    for i in $(seq 100); do grep -q "listening on" /tmp/server.log && break; sleep 0.1; done
    kill $pid; wait $pid; status=$?
    cat /tmp/server.log >&2
    grep -q "listening on" /tmp/server.log && [ $status -eq 0 ]'
  chroot "$root" dpkg-query -W -f='${Package} ${Version} ${Installed-Size} KiB\n' tarnivel tarnivel-directory
  chroot "$root" apt-get purge -y -qq tarnivel tarnivel-directory >>"$scratch/apt.log" 2>&1
  [ ! -e "$root/usr/bin/tarnivel" ] && [ ! -e "$root/etc/tarnivel/rooms.txt" ]
  echo "installed, run and purged in a throwaway root"
fi

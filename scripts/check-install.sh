#!/usr/bin/env bash
# Installs into a staging folder as `cmake --install` does for /usr, checks
# the desktop entry, the AppStream file and the man page with their own
# tools, and builds the Debian package. Usage: scripts/check-install.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}" desktop-file-utils appstream groff-base dpkg-dev file
build="$here/build/package"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" >/dev/null
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" >/dev/null
echo "== installed"
(cd "$stage" && find . -type f | sort)
echo "== desktop-file-validate"
desktop-file-validate "$stage/usr/share/applications/quorimeter.desktop" && echo "  ok"
echo "== appstreamcli validate"
appstreamcli validate --no-net "$stage/usr/share/metainfo/com.kestrune.Quorimeter.metainfo.xml"
echo "== man page"
warnings=$(groff -man -ww -z "$stage/usr/share/man/man1/quorimeter.1" 2>&1 || true)
[ -z "$warnings" ] && echo "  ok: groff has no warnings" || { echo "$warnings"; exit 1; }
echo "== Debian package"
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/quorimeter_*.deb)"
dpkg-deb --info "$deb" | sed -n '/Architecture:/,$p'
# Installed under /usr, the program keeps its settings in the user's data
# folder, even when run by root.
folder="$(mktemp -d)"
HOME="$folder" XDG_DATA_HOME="$folder/data" "$stage/usr/bin/quorimeter" count --help >/dev/null
HOME="$folder" XDG_DATA_HOME="$folder/data" "$stage/usr/bin/quorimeter" formats >/dev/null
[ ! -e "$stage/usr/bin/default.settings" ] && echo "  ok: nothing written beside the installed program" ||
  { echo "  FAIL: settings beside the installed program"; exit 1; }
rm -rf "$folder"
dpkg-deb --contents "$deb" | awk '{ print $6 }' | grep -v '/$'

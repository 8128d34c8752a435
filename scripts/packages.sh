# Installs the Debian packages the build needs when any is missing.
# Sourced by run.sh and test.sh; works as root and as a user with sudo.

qrmt_build_packages=(g++ cmake ninja-build pkg-config ccache qt6-base-dev libzip-dev libpugixml-dev)
qrmt_test_packages=(libgtest-dev libgmock-dev poppler-utils fonts-dejavu-core desktop-file-utils dbus)

qrmt_ensure_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "Missing packages: ${missing[*]}; run as root or install sudo." >&2
      return 1
    fi
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}" >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2
}

# Shared by the scripts: installs what is missing and prepares the private Wine prefix.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { printf '==> %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: installs the Debian packages that are not yet installed; one
# apt-get update first, and nothing at all when everything is there.
ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  say "installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake ninja-build g++ googletest libbenchmark-dev
                g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
                wine wine64 wine32:i386 xvfb xauth
                libcli11-dev nlohmann-json3-dev libtomlplusplus-dev)

# ensure_wine_prefix: the private prefix, made once (about 20 s), with the settings that
# keep closing windows and starting processes fast and quiet.
ensure_wine_prefix() {
  [ -f "$WINEPREFIX/.tarvo-ready-3" ] && return 0
  say "creating the Wine prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Without a window manager Wine waits 2 s whenever a top-level window closes.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # No sound device here: no driver, no noise.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f >/dev/null 2>&1
  # A crashing program ends at once, as under Windows with no debugger: the tests crash
  # stand-in encoders on purpose, and Wine's debugger would wait for nobody.
  local view
  for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d "" \
      /f /reg:$view >/dev/null 2>&1
  done
  wineserver -w
  touch "$WINEPREFIX/.tarvo-ready-3"
}

# start_wineserver / stop_wineserver: a server kept up across the tests, so that no
# test waits for the pipes of a server started inside it.
start_wineserver() {
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
stop_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
}

# mount_fault_disks / unmount_fault_disks: as root, two small disks for the tests that
# make real faults happen: $TARVO_FULL_DISK (8 MiB, for a disk that fills up) and
# $TARVO_READONLY_DIR (read-only, holding a ROM-sized file). Without them those tests
# are skipped.
FAULTS="$ROOT/build/faults"
mount_fault_disks() {
  [ "$(id -u)" -eq 0 ] || { say "not root: the full-disk and read-only tests are skipped"; return 0; }
  unmount_fault_disks
  mkdir -p "$FAULTS/full" "$FAULTS/readonly"
  if mount -t tmpfs -o size=8m tmpfs "$FAULTS/full" &&
     mount -t tmpfs -o size=3m tmpfs "$FAULTS/readonly" &&
     head -c $((0x200200)) /dev/zero >"$FAULTS/readonly/readonly.smc" &&
     mount -o remount,ro "$FAULTS/readonly"; then
    export TARVO_FULL_DISK="$FAULTS/full" TARVO_READONLY_DIR="$FAULTS/readonly"
  else
    say "could not mount the fault disks: the full-disk and read-only tests are skipped"
    unmount_fault_disks
  fi
}
unmount_fault_disks() {
  local dir
  for dir in "$FAULTS/full" "$FAULTS/readonly"; do
    mountpoint -q "$dir" 2>/dev/null && umount "$dir"
  done
  return 0
}

# build PRESET [TARGET...]: everything, or only the targets named
build() {
  local preset=$1
  shift
  say "building $preset"
  cmake --preset "$preset" -DTARVO_WERROR=ON >/dev/null
  if [ "$#" -gt 0 ]; then
    cmake --build --preset "$preset" -j "$(nproc)" --target "$@"
  else
    cmake --build --preset "$preset" -j "$(nproc)"
  fi
}

# in_xvfb COMMANDS: runs bash COMMANDS, with these functions, on a private X display.
in_xvfb() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c ". '$ROOT/script/lib.sh'; $1"
}

#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12, and makes 32-bit Wine
# run where the kernel runs no 32-bit programs. Idempotent: a second run only checks. Needs root
# (or sudo) for apt-get and for the binfmt_misc registration.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64 xvfb xdotool xauth
  osslsigncode openssl wixl help2man unzip
  clang libclang-rt-14-dev llvm-14
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO=sudo
  fi
fi
as_root() {
  if [ "$(id -u)" -ne 0 ] && [ -z "$SUDO" ]; then
    echo "setup: $1 needs root (or sudo without a password), and this is neither" >&2
    exit 1
  fi
  shift
  $SUDO "$@"
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root "installing packages" dpkg --add-architecture i386
  fi
  as_root "installing packages" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root "installing packages" \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The stub is a 32-bit program. A kernel built without IA-32 emulation ("32-bit emulation
# disabled") refuses to start 32-bit Linux programs, 32-bit Wine among them; there QEMU's user-mode
# emulator, registered with binfmt_misc for i386 programs, runs them instead. Only QEMU 10 (from
# bookworm-backports) is fast enough: bookworm's own 7.2 takes about 100 s per Windows process.
wine32=/usr/lib/wine/wine
if "$wine32" --version >/dev/null 2>&1; then
  exit 0
fi

qemu=/usr/bin/qemu-i386
qemu_version=$("$qemu" --version 2>/dev/null | sed -nE '1s/.*version ([0-9]+).*/\1/p')
if [ "${qemu_version:-0}" -lt 10 ]; then
  backports=/etc/apt/sources.list.d/bookworm-backports.sources
  if ! apt-cache policy 2>/dev/null | grep -q 'bookworm-backports'; then
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      as_root "adding bookworm-backports" tee "$backports" >/dev/null
    as_root "installing qemu-user" apt-get update -qq
  fi
  DEBIAN_FRONTEND=noninteractive as_root "installing qemu-user" \
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user
fi

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  as_root "mounting binfmt_misc" mount -t binfmt_misc binfmt_misc "$binfmt" ||
    { echo "setup: this kernel runs no 32-bit programs and binfmt_misc cannot be mounted: 32-bit Wine cannot run here" >&2; exit 1; }
fi
# An existing registration for i386 programs (ours or another's) is left as it is.
if [ ! -e "$binfmt/qemu-i386" ]; then
  magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s\n' ":qemu-i386:M::$magic:$mask:$qemu:F" |
    as_root "registering qemu-i386 with binfmt_misc" tee "$binfmt/register" >/dev/null
fi
if ! "$wine32" --version >/dev/null 2>&1; then
  echo "setup: this kernel runs no 32-bit programs, and 32-bit Wine does not start through $qemu either" >&2
  exit 1
fi
echo "setup: this kernel runs no 32-bit programs: $("$qemu" --version | head -1) runs them (binfmt_misc entry qemu-i386)"

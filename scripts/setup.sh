#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12, and makes 32-bit Wine
# run where the kernel runs no 32-bit programs. Idempotent: a second run only checks. Needs root
# (or sudo) for apt-get and for the binfmt_misc registration.
#
# Every way out other than success prints one "setup: ..." line saying what failed and what to do.
# Commands whose failure is an expected answer (a program not installed yet, a grep that finds
# nothing) are always written so that the failure cannot end the script.
set -Eeuo pipefail

# The paths the script acts on. tests/setup/setup_decisions_test.sh points them at stand-ins.
wine32=${SETUP_WINE32:-/usr/lib/wine/wine}
qemu=${SETUP_QEMU:-/usr/bin/qemu-i386}
binfmt=${SETUP_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
apt_sources=${SETUP_APT_SOURCES:-/etc/apt/sources.list.d}

fail() {
  echo "setup: $*" >&2
  exit 1
}
on_error() {  # status, command, line
  # A command substitution's subshell leaves the message to the command that used it.
  [ "$BASH_SUBSHELL" -eq 0 ] || exit "$1"
  fail "\"$2\" failed with status $1 (scripts/setup.sh line $3); run it by hand to see why, mend that, then run scripts/setup.sh again"
}
trap 'on_error $? "$BASH_COMMAND" $LINENO' ERR

packages=(
  cmake ninja-build g++ libgtest-dev googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64 xvfb xdotool xauth
  osslsigncode openssl wixl help2man unzip
  clang libclang-rt-14-dev llvm-14
)

uid=$(id -u)
SUDO=""
if [ "$uid" -ne 0 ] && command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  SUDO=sudo
fi
try_as_root() {  # what for, command...: the command's status
  if [ "$uid" -ne 0 ] && [ -z "$SUDO" ]; then
    fail "$1 needs root (or sudo without a password), and this is neither: run scripts/setup.sh as root once"
  fi
  $SUDO "${@:2}"
}
as_root() {  # what for, command...
  local status=0
  try_as_root "$@" || status=$?
  [ "$status" -eq 0 ] ||
    fail "$1: \"${*:2}\" failed with status $status (see its lines above); mend that (the network, /etc/apt), then run scripts/setup.sh again"
}
# sudo drops the environment, so the front end is set on the command itself.
apt_install() {
  as_root "$1" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${@:2}"
}

is_installed() {
  local status
  status=$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) || return 1
  [ "$status" = "install ok installed" ]
}

missing=()
for p in "${packages[@]}"; do
  is_installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  foreign=$(dpkg --print-foreign-architectures 2>/dev/null) || foreign=""
  if ! grep -qx i386 <<<"$foreign"; then
    as_root "installing packages" dpkg --add-architecture i386
  fi
  as_root "installing packages" apt-get update -qq
  apt_install "installing packages" "${missing[@]}"
fi

# The stub is a 32-bit program. A kernel built without IA-32 emulation ("32-bit emulation
# disabled") refuses to start 32-bit Linux programs, 32-bit Wine among them; there QEMU's user-mode
# emulator, registered with binfmt_misc for i386 programs, runs them instead. Only QEMU 10 (from
# bookworm-backports) is fast enough: bookworm's own 7.2 takes about 100 s per Windows process.
wine_starts() { "$wine32" --version >/dev/null 2>&1; }
if wine_starts; then
  exit 0
fi

qemu_version_line() {  # empty when qemu-i386 is not there or does not run
  local out=""
  [ -x "$qemu" ] && out=$("$qemu" --version 2>/dev/null) || out=""
  printf '%s\n' "${out%%$'\n'*}"
}
qemu_major() {  # 0 when qemu-i386 is not there
  local line
  line=$(qemu_version_line)
  if [[ $line =~ version\ ([0-9]+) ]]; then echo "${BASH_REMATCH[1]}"; else echo 0; fi
}

if [ "$(qemu_major)" -lt 10 ]; then
  policy=$(apt-cache policy 2>/dev/null) || policy=""
  if [[ $policy != *bookworm-backports* ]]; then
    # Added once: a source that names the suite already (ours or the administrator's) is kept.
    if ! grep -rqs bookworm-backports "$apt_sources" "$apt_sources/../sources.list"; then
      as_root "adding bookworm-backports" tee "$apt_sources/bookworm-backports.sources" >/dev/null \
        <<<$'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg'
    fi
    as_root "installing qemu-user" apt-get update -qq
  fi
  echo "setup: this kernel runs no 32-bit programs: installing qemu-user from bookworm-backports"
  apt_install "installing qemu-user" -t bookworm-backports qemu-user
  installed=$(qemu_major)
  [ "$installed" -ge 10 ] ||
    fail "qemu-user from bookworm-backports gave $qemu at version $installed, and 32-bit Wine needs 10 or later: check 'apt-cache policy qemu-user'"
fi

if [ ! -e "$binfmt/register" ]; then
  try_as_root "mounting binfmt_misc" mount -t binfmt_misc binfmt_misc "$binfmt" || true
  [ -e "$binfmt/register" ] ||
    fail "this kernel runs no 32-bit programs and binfmt_misc cannot be mounted at $binfmt: 32-bit Wine cannot run here (a kernel with IA-32 emulation or binfmt_misc is needed)"
fi
# An existing registration for i386 programs (ours or another's) is left as it is.
if [ ! -e "$binfmt/qemu-i386" ]; then
  magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  # No pipe into as_root: its refusal must end this shell, not a pipeline's subshell.
  as_root "registering qemu-i386 with binfmt_misc" tee "$binfmt/register" >/dev/null \
    <<<":qemu-i386:M::$magic:$mask:$qemu:F"
fi
wine_starts ||
  fail "this kernel runs no 32-bit programs, and 32-bit Wine does not start through $qemu either: see '$wine32 --version' and $binfmt/qemu-i386"
echo "setup: this kernel runs no 32-bit programs: $(qemu_version_line) runs them (binfmt_misc entry qemu-i386)"

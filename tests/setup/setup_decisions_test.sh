#!/usr/bin/env bash
# Runs the real scripts/setup.sh from each state a machine can be in, without touching the machine:
# apt-get, apt-cache, dpkg-query, dpkg, mount, sudo and id are stand-ins first on PATH that record
# what they were asked and answer from a state folder; 32-bit Wine, qemu-i386, binfmt_misc and the
# apt sources folder are paths in that folder. Each case checks the exit status, the last line
# printed, and what was (and was not) asked of the system.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
setup=$root/scripts/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

all_packages=$(sed -n '/^packages=(/,/^)/p' "$setup" | sed '1d;$d' | tr -s ' \n' '\n' | sed '/^$/d')

# --- stand-ins -------------------------------------------------------------------------------
make_stand_ins() {  # $1: case folder
  local c=$1 bin=$1/bin
  mkdir -p "$bin" "$c/binfmt" "$c/apt/sources.list.d"
  cat >"$bin/record" <<'EOF'
#!/usr/bin/env bash
echo "$*" >>"$STATE/calls"
EOF
  cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
"$STATE/bin/record" dpkg-query "$@"
pkg=${*: -1}
if grep -qxF "$pkg" "$STATE/installed"; then printf 'install ok installed'; else
  echo "dpkg-query: no packages found matching $pkg" >&2; exit 1; fi
EOF
  cat >"$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
"$STATE/bin/record" dpkg "$@"
case $1 in
  --print-foreign-architectures) cat "$STATE/foreign" ;;
  --add-architecture) [ -e "$STATE/add_arch_fails" ] && exit 2; echo "$2" >>"$STATE/foreign" ;;
esac
EOF
  cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
"$STATE/bin/record" apt-get "$@"
case " $* " in
  *" update "*) [ -e "$STATE/update_fails" ] && exit 100; touch "$STATE/updated" ;;
  *" install "*)
    [ -e "$STATE/install_fails" ] && { echo "E: Unable to locate package" >&2; exit 100; }
    backports=0; [[ " $* " == *" -t bookworm-backports "* ]] && backports=1
    for a in "$@"; do
      case $a in -*|install|bookworm-backports) ;; *) echo "$a" >>"$STATE/installed" ;; esac
    done
    if [[ " $* " == *" qemu-user "* ]]; then
      version=7.2.0
      if [ $backports = 1 ]; then
        grep -rqs bookworm-backports "$STATE/apt/sources.list.d" && [ -e "$STATE/updated" ] ||
          { echo "E: The value 'bookworm-backports' is invalid for APT::Default-Release" >&2; exit 100; }
        version=$(cat "$STATE/backports_qemu" 2>/dev/null || echo 10.0.2)
      fi
      "$STATE/bin/make-qemu" "$version"
    fi ;;
esac
EOF
  cat >"$bin/apt-cache" <<'EOF'
#!/usr/bin/env bash
"$STATE/bin/record" apt-cache "$@"
echo "Package files:"
echo " 500 http://deb.debian.org/debian bookworm/main amd64 Packages"
if [ -e "$STATE/updated" ] && grep -rqs bookworm-backports "$STATE/apt/sources.list.d"; then
  echo " 100 http://deb.debian.org/debian bookworm-backports/main amd64 Packages"
fi
EOF
  cat >"$bin/mount" <<'EOF'
#!/usr/bin/env bash
"$STATE/bin/record" mount "$@"
[ -e "$STATE/mount_fails" ] && { echo "mount: permission denied" >&2; exit 32; }
touch "${*: -1}/register"
EOF
  cat >"$bin/sudo" <<'EOF'
#!/usr/bin/env bash
if [ "$*" = "-n true" ]; then [ -e "$STATE/sudo_ok" ]; exit; fi
"$STATE/bin/record" sudo "$@"
[ -e "$STATE/sudo_ok" ] || exit 1
exec "$@"
EOF
  cat >"$bin/id" <<'EOF'
#!/usr/bin/env bash
cat "$STATE/uid" 2>/dev/null || { echo "id: cannot find name for user ID" >&2; exit 1; }
EOF
  cat >"$bin/make-qemu" <<'EOF'
#!/usr/bin/env bash
printf '#!/usr/bin/env bash\necho "qemu-i386 version %s (Debian 1:%s+ds)"\necho "Copyright (c) 2003-2025 Fabrice Bellard and the QEMU Project developers"\n' \
  "$1" "$1" >"$STATE/qemu-i386"
chmod +x "$STATE/qemu-i386"
EOF
  # 32-bit Wine starts where the kernel runs 32-bit programs, or where qemu-i386 10 or later is
  # there and registered for them (an entry already there, or a line written to register).
  cat >"$c/wine" <<'EOF'
#!/usr/bin/env bash
[ -e "$STATE/wine_broken" ] && exit 1
[ -e "$STATE/kernel_runs_32bit" ] && exit 0
[ -x "$STATE/qemu-i386" ] || exit 126
[[ $("$STATE/qemu-i386" --version) =~ version\ ([0-9]+) ]] && [ "${BASH_REMATCH[1]}" -ge 10 ] || exit 126
[ -e "$STATE/binfmt/qemu-i386" ] || grep -qs '^:qemu-i386:M::' "$STATE/binfmt/register" || exit 126
echo wine-8.0
EOF
  chmod +x "$bin"/* "$c/wine"
  echo 0 >"$c/uid"
  echo i386 >"$c/foreign"
  printf '%s\n' $all_packages >"$c/installed"
  touch "$c/calls"
}

# --- states ---------------------------------------------------------------------------------
# Each state function changes the everything-in-place machine (all packages, i386 enabled,
# binfmt_misc mounted, root) into the state of one case.
uninstall() { local p; for p; do sed -i "/^${p}\$/d" "$STATE/installed"; done; }
mounted() { touch "$STATE/binfmt/register"; }
state_ready() { touch "$STATE/kernel_runs_32bit"; }
state_packages_missing() { state_ready; uninstall wixl help2man wine32:i386; : >"$STATE/foreign"; }
state_no_qemu() { mounted; }
state_qemu_7() { mounted; "$STATE/bin/make-qemu" 7.2.0; }
state_backports_listed_not_fetched() {
  state_qemu_7
  printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates bookworm-backports\n' \
    >"$STATE/apt/sources.list.d/debian.sources"
}
state_qemu_10_unregistered() { mounted; "$STATE/bin/make-qemu" 10.0.2; }
state_binfmt_unmounted() { "$STATE/bin/make-qemu" 10.0.2; }
state_registered_qemu_gone() { mounted; echo enabled >"$STATE/binfmt/qemu-i386"; }
state_sudo() { state_packages_missing; echo 1000 >"$STATE/uid"; touch "$STATE/sudo_ok"; }
state_no_root() { state_packages_missing; echo 1000 >"$STATE/uid"; }
state_no_root_at_registration() { state_qemu_10_unregistered; echo 1000 >"$STATE/uid"; }
state_mount_fails() { state_binfmt_unmounted; touch "$STATE/mount_fails"; }
state_wine_broken() { state_qemu_10_unregistered; touch "$STATE/wine_broken"; }
state_install_fails() { state_packages_missing; touch "$STATE/install_fails"; }
state_update_fails() { state_packages_missing; touch "$STATE/update_fails"; }
state_backports_too_old() { state_no_qemu; echo 9.2.0 >"$STATE/backports_qemu"; }
state_add_arch_fails() { state_packages_missing; touch "$STATE/add_arch_fails"; }
state_id_fails() { state_packages_missing; rm "$STATE/uid"; }

# --- expectations ---------------------------------------------------------------------------
failures=0
check() {  # $1: what; $2: 0/1 result
  if [ "$2" != 0 ]; then echo "    FAIL: $1"; failures=$((failures + 1)); fi
}
asked() { grep -qE "$1" "$STATE/calls"; }
count() { grep -cE "$1" "$STATE/calls"; }

register_line=":qemu-i386:M::"
expect_ready() { check "nothing installed" "$(asked 'apt-get|mount|dpkg --add' && echo 1 || echo 0)"; }
expect_packages() {
  check "one apt-get install of the missing packages only" \
    "$([ "$(count '^apt-get install')" = 1 ] && asked 'apt-get install .* wine32:i386 wixl help2man$' && echo 0 || echo 1)"
  check "i386 added" "$(asked '^dpkg --add-architecture i386$' && echo 0 || echo 1)"
}
expect_backports_added_once() {
  check "one backports source written" \
    "$([ "$(grep -rls bookworm-backports "$STATE/apt/sources.list.d" | wc -l)" = 1 ] && echo 0 || echo 1)"
  check "qemu-user from backports" "$(asked '^apt-get install .*-t bookworm-backports qemu-user$' && echo 0 || echo 1)"
  check "registered once" "$([ "$(grep -c "^$register_line" "$STATE/binfmt/register")" = 1 ] && echo 0 || echo 1)"
}
expect_backports_kept() {
  check "no second backports source" "$([ ! -e "$STATE/apt/sources.list.d/bookworm-backports.sources" ] && echo 0 || echo 1)"
  check "lists fetched, qemu-user from backports" \
    "$(asked '^apt-get update' && asked '^apt-get install .*-t bookworm-backports qemu-user$' && echo 0 || echo 1)"
}
expect_registered_only() {
  check "no apt" "$(asked '^apt-get' && echo 1 || echo 0)"
  check "registered for i386 with flag F" \
    "$(grep -qx ":qemu-i386:M::.*:$STATE/qemu-i386:F" "$STATE/binfmt/register" && echo 0 || echo 1)"
}
expect_mounted() {
  check "binfmt_misc mounted" "$(asked "^mount -t binfmt_misc binfmt_misc $STATE/binfmt$" && echo 0 || echo 1)"
  expect_registered_only
}
expect_entry_kept() {
  check "existing entry left as it is" "$([ ! -s "$STATE/binfmt/register" ] && echo 0 || echo 1)"
  check "qemu-user installed" "$(asked '^apt-get install .*qemu-user$' && echo 0 || echo 1)"
}
expect_through_sudo() {
  check "apt-get through sudo" "$(asked '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install' && echo 0 || echo 1)"
}
expect_nothing_done() { check "nothing asked of apt or mount" "$(asked '^(apt-get|mount|sudo)' && echo 1 || echo 0)"; }
expect_not_registered() { check "nothing registered" "$([ ! -s "$STATE/binfmt/register" ] && echo 0 || echo 1)"; }
expect_none() { :; }

# name | state | exit | pattern of the last line printed | further expectation
cases=(
  "ready|state_ready|0||expect_ready"
  "packages missing|state_packages_missing|0||expect_packages"
  "no qemu-i386 at all|state_no_qemu|0|^setup: this kernel runs no 32-bit programs: qemu-i386 version 10\.0\.2 .* runs them|expect_backports_added_once"
  "bookworm's qemu 7.2|state_qemu_7|0|runs them \(binfmt_misc entry qemu-i386\)$|expect_backports_added_once"
  "backports listed, lists not fetched|state_backports_listed_not_fetched|0|runs them|expect_backports_kept"
  "qemu 10, not registered|state_qemu_10_unregistered|0|runs them|expect_registered_only"
  "binfmt_misc not mounted|state_binfmt_unmounted|0|runs them|expect_mounted"
  "already registered|state_registered_qemu_gone|0|runs them|expect_entry_kept"
  "not root, password-less sudo|state_sudo|0||expect_through_sudo"
  "not root, no sudo|state_no_root|1|^setup: installing packages needs root \(or sudo without a password\)|expect_nothing_done"
  "not root at registration|state_no_root_at_registration|1|^setup: registering qemu-i386 with binfmt_misc needs root|expect_not_registered"
  "binfmt_misc cannot be mounted|state_mount_fails|1|^setup: .*binfmt_misc cannot be mounted|expect_not_registered"
  "wine does not start after registration|state_wine_broken|1|^setup: .*32-bit Wine does not start through|expect_none"
  "apt-get install fails|state_install_fails|1|^setup: installing packages: \"env DEBIAN_FRONTEND=noninteractive apt-get install .* wine32:i386 wixl help2man\" failed with status 100|expect_none"
  "apt-get update fails|state_update_fails|1|^setup: installing packages: \"apt-get update -qq\" failed with status 100|expect_none"
  "backports qemu too old|state_backports_too_old|1|^setup: qemu-user from bookworm-backports .* version 9|expect_not_registered"
  "dpkg refuses i386|state_add_arch_fails|1|^setup: installing packages: \"dpkg --add-architecture i386\" failed with status 2|expect_none"
  "an unforeseen failure|state_id_fails|1|^setup: \"uid=\\$\(id -u\)\" failed with status 1 \(scripts/setup.sh line [0-9]+\)|expect_nothing_done"
)

n=0
for row in "${cases[@]}"; do
  IFS='|' read -r name state want_status want_last expectation <<<"$row"
  n=$((n + 1))
  export STATE=$work/case$n
  make_stand_ins "$STATE"
  "$state"
  out=$(PATH="$STATE/bin:$PATH" SETUP_WINE32=$STATE/wine SETUP_QEMU=$STATE/qemu-i386 \
    SETUP_BINFMT_DIR=$STATE/binfmt SETUP_APT_SOURCES=$STATE/apt/sources.list.d \
    bash "$setup" 2>&1)
  status=$?
  last=$(tail -n 1 <<<"$out")
  before=$failures
  echo "case: $name"
  echo "    exit $status; last line: ${last:-(none)}"
  check "exit status $want_status" "$([ "$status" = "$want_status" ] && echo 0 || echo 1)"
  if [ -n "$want_last" ]; then
    check "last line matches /$want_last/" "$(grep -qE "$want_last" <<<"$last" && echo 0 || echo 1)"
  fi
  if [ "$want_status" != 0 ]; then
    check "exactly one line says what failed" \
      "$([ "$(grep -cE '^setup: .*(needs|cannot|failed|does not|version [0-9]+,)' <<<"$out")" = 1 ] && echo 0 || echo 1)"
  fi
  "$expectation"
  [ $failures = "$before" ] || { echo "    output:"; sed 's/^/      /' <<<"$out"; echo "    asked:"; sed 's/^/      /' "$STATE/calls"; }
done

echo
echo "$n cases, $failures failed checks"
[ $failures = 0 ]

#!/usr/bin/env bash
# Installs what is missing, builds the trees, and runs every test: host tests, Windows-side tests
# under Wine, the end-to-end tests, and in build/sanitize the host tests under ASan and UBSan and
# a short run of each fuzzer. Prints one summary at the end; exits non-zero on failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" || exit 1

source "$root/scripts/wine-session.sh"
wine_session_start
trap wine_session_end EXIT

trees=(host windows sanitize)

status=0
for tree in "${trees[@]}"; do
  echo "== tests in build/$tree"
  # The fuzz runs are CPU-bound and independent: two at a time.
  parallel=1; [ "$tree" = sanitize ] && parallel=2
  (cd "$root/build/$tree" && ctest --output-on-failure --timeout 1500 -j "$parallel") |
    tee "$root/build/$tree/ctest.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done

passed=0; failed=0
for tree in "${trees[@]}"; do
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$root/build/$tree/ctest.log" | tail -1)
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + ${total:-0} - ${bad:-0})); failed=$((failed + ${bad:-1}))
done
echo
echo "$passed passed, $failed failed"
exit $status

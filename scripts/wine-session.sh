# Sourced by the test and demo scripts: a private Wine prefix made fresh for this run, one
# persistent wine server for it (so each program starts in a fraction of a second), and a virtual
# display for the tests that read message boxes. wine_session_end stops them again.
# WINE_SESSION_PREFIX picks another prefix, so that the demo does not clobber a test run's.
root=${root:?}
export WINEPREFIX="${WINE_SESSION_PREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko install prompts

wine_session_start() {
  wineserver -k 2>/dev/null || true
  if [ -z "${DISPLAY:-}" ]; then
    local display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_SESSION_XVFB=$!
    export DISPLAY=$display
  fi
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  wineserver -p
  # Start Wine's system processes now, detached from any test's output pipes: a test runner
  # waits for the end of its child's output, which those long-lived processes would keep open.
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}

wine_session_end() {
  wineserver -k 2>/dev/null || true
  if [ -n "${WINE_SESSION_XVFB:-}" ]; then
    kill "$WINE_SESSION_XVFB" 2>/dev/null || true
    wait "$WINE_SESSION_XVFB" 2>/dev/null || true
  fi
}

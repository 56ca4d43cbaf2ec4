# Sourced: the time that the release files carry instead of the build's, so that two builds of
# one commit give the same bytes: SOURCE_DATE_EPOCH when the caller set it, else the commit's date.
root=${root:?}
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    { echo "no SOURCE_DATE_EPOCH and no git commit to take it from" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

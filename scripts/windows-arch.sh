# Sourced after scripts/setup.sh: which build of the Windows side runs under Wine here.
# The stub is a 32-bit program, but some kernels run no 32-bit programs at all ("32-bit
# emulation disabled"), and then 32-bit Wine cannot start. There the same sources are also built
# for 64-bit Windows (build/win64) and that build runs under wine64; the 32-bit build is still
# made and checked without running it (image size, imports, reproducible bytes).
root=${root:?}
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  WINDOWS_RUN_ARCH=i686
  WINDOWS_RUN_TREE=$root/build/windows
else
  WINDOWS_RUN_ARCH=x86_64
  WINDOWS_RUN_TREE=$root/build/win64
fi
export WINDOWS_RUN_ARCH WINDOWS_RUN_TREE

# The Debian package of the host tree: what `cmake --install build/host` puts in place (stubpack,
# its manual page, and the stub it packs by default), under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stubpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brevant Inc.")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds, lists, verifies and extracts self-extracting package executables")
set(CPACK_PACKAGE_DESCRIPTION "stubpack appends a package of files to a copy of the installer stub
UnPackFile.exe (installed with it), lists and verifies package executables the way the stub
reads them, signed or not, and extracts them without running anything.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brevant Inc. release engineering")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)

# The release files twice from the built trees (this one and the 32-bit Windows tree that
# scripts/dist.sh packages): the same bytes each time.
add_test(NAME dist_reproducible
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-dist-reproducible.sh ${CMAKE_BINARY_DIR}
          ${PROJECT_SOURCE_DIR}/build/windows)

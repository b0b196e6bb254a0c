# `cmake --build build --target package` makes a Debian package of what
# `cmake --install` installs, under /usr. The programs find their files from
# their own place, so the build's own install prefix does not matter.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME a3-librarian)
set(CPACK_PACKAGE_VENDOR "A3 Librarian developers")
set(CPACK_PACKAGE_CONTACT "Seed 98523480 maintainers <maintainers@users.noreply.c-seed-98523480.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://a3librarian.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Computed by dpkg-shlibdeps from what the binaries link, so they follow the
# libraries the build really used.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What Qt loads at run time, which no binary links: the engine that draws the
# SVG window icon, and the fonts the printed listing asks fontconfig for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, fonts-urw-base35")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "librarian for the patch banks of the A3 multi-effects")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
A3 Librarian opens All-Data dump files of the A3 multi-effects processor,
each holding a bank of 100 patches and its chain data. It renames patches,
copies them within a bank or between banks, prints a one-page listing and
saves banks the device accepts, with their checksums recomputed. It sends
banks to the device and receives them over MIDI, through the ALSA sequencer
or JACK.
.
The package holds the desktop app, a3-librarian, and a3bank, a command-line
tool that does the same work for scripts and batch jobs.]=])

set(A3_DOC_SUBDIR "${CMAKE_INSTALL_DATADIR}/doc/a3-librarian")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/copyright" DESTINATION "${A3_DOC_SUBDIR}")
# The package is its own upstream (a native package), so its changelog is
# changelog.gz in the format of a Debian changelog.
a3_install_gzipped(packaging/changelog "${A3_DOC_SUBDIR}")

include(CPack)

# SPDX-License-Identifier: BSD-3-Clause
# The workbench's desktop entry, icon and AppStream metadata, the package's documents, and
# the Debian package that CPack makes from the install rules (scripts/package).
set(TESSARY_MAINTAINER "The Tessary developers <developers@tessary.example>" CACHE STRING
    "The Debian package's maintainer")
set(data ${PROJECT_SOURCE_DIR}/packaging)

if(TESSARY_GUI)
    install(FILES ${data}/org.tessary.Tessary.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${data}/org.tessary.Tessary.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${data}/org.tessary.Tessary.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Debian's place for a package's documents, named after the package; the changelog goes
# there compressed.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tessary)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${data}/changelog > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${data}/changelog)
add_custom_target(tessary_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${data}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${doc_dir})
# What lintian says of the package's deliberate shape, and why it stands.
install(FILES ${data}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME tessary)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TESSARY_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "workbench for PC/SC smart-card readers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessary connects to the card in a PC/SC reader in shared, exclusive or direct
mode, shows its ATR and sends command APDUs, or in direct mode reader commands;
it keeps and replays command queues, drives the reader's LEDs and buzzer, and
works with SLE4442, SLE4432, SLE4428 and SLE4418 memory cards.

The package also holds the libraries libprolvak (PC/SC access with a timed
trace) and libcordrel (memory-card commands) with their headers, pkg-config
files and CMake packages, and tessary-sim, which runs a private pcscd with
simulated readers so that everything can be tried without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the shared libraries' needs; libprolvak loads libpcsclite at run time, which
# libcordrel links, so it is found all the same.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pcscd)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libpcsclite-dev, pkgconf")
# The loader's cache is refreshed by a trigger (CPack adds its own ldconfig calls as well).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${data}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# What an install holds depends on these; the install test and scripts/package read them.
get_property(programs GLOBAL PROPERTY TESSARY_PROGRAMS)
list(JOIN programs " " programs)
file(WRITE ${PROJECT_BINARY_DIR}/packaging/tree.env
    "version=${PROJECT_VERSION}\nlibdir=${CMAKE_INSTALL_LIBDIR}\nprograms=(${programs})\ngui=${TESSARY_GUI}\n")

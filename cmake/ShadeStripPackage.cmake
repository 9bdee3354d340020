# Installing and packaging the POSIX build. `cmake --install` puts the two
# programs in bin, the manual pages (gzipped) in share/man/man6 and man1, and
# the README, the licences, a Debian-style copyright file and the changelog in
# share/doc/shadestrip. `cpack` (the `package` target) makes a Debian package
# of the same files, with its library dependencies worked out by dpkg-shlibdeps.
include(GNUInstallDirs)

set(SHADESTRIP_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/shadestrip)
set(SHADESTRIP_MAINTAINER "The Shade Strip developers <shadestrip@example.org>" CACHE STRING
    "Maintainer named in the Debian package")

# --- Manual pages ---

find_program(SHADESTRIP_GZIP gzip REQUIRED)
set(man_sources
    ${CMAKE_SOURCE_DIR}/docs/man/shadestrip.6
    ${CMAKE_SOURCE_DIR}/docs/man/shadestrip-capture.1)
set(man_outputs "")
foreach(page ${man_sources})
    get_filename_component(name ${page} NAME)
    string(REGEX REPLACE "^.*\\." "" section ${name})
    set(compressed ${CMAKE_BINARY_DIR}/man/${name}.gz)
    # -n leaves the name and time out, so the package's bytes repeat.
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${SHADESTRIP_GZIP} -9 -n -c ${page} > ${compressed}
        DEPENDS ${page}
        COMMENT "Compressing the manual page ${name}")
    list(APPEND man_outputs ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(shadestrip_man_pages ALL DEPENDS ${man_outputs})

# --- Documents ---

install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
    ${CMAKE_SOURCE_DIR}/docs/copyright DESTINATION ${SHADESTRIP_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/LICENSE DESTINATION ${SHADESTRIP_DOC_DIR} RENAME LICENSE.resources)
set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${SHADESTRIP_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/docs/changelog > ${changelog}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/changelog)
add_custom_target(shadestrip_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${SHADESTRIP_DOC_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/package/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME shadestrip)

# --- Debian package ---

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME shadestrip)
set(CPACK_PACKAGE_VENDOR "The Shade Strip developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time text-mode demo in shade characters, with music")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Shade Strip is an audiovisual demo drawn entirely in a text terminal: 80 x 50\n"
    "cells of code page 437 shade and block characters in 16 colours, nine scenes\n"
    "scrolling by on one long strip, every frame following the playback position\n"
    "of a 142-second music track. It runs in xterm-compatible terminals; --silent\n"
    "plays it without a sound device, over ssh for example. shadestrip-capture\n"
    "writes frames of the show as text, ANSI text or PNG, or the show as a video\n"
    "with its music, without a terminal.\n"
    "\n"
    "The code is under the MIT licence; the pictures and the music are under the\n"
    "Creative Commons Attribution 4.0 licence (CC BY 4.0).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SHADESTRIP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

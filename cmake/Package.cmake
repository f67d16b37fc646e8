# cpack -G DEB: a Debian package of everything the install rules lay out. Installed files
# are stripped, as every distribution does; the catalogs live in a section strip keeps.
set(CPACK_PACKAGE_NAME tachoflux)
set(CPACK_PACKAGE_VENDOR "Kelvaro")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chronometer for two light barriers on a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "Tachoflux times an object between two light barriers a known distance\n"
    "apart and computes its speed. The barriers are wired to the modem-status\n"
    "lines of a serial port. Times are shown to 1/10000 second on a large\n"
    "simulated LCD, and every run goes into a protocol that can be exported\n"
    "as a text file or as CSV for spreadsheets. The program speaks German\n"
    "and brings its own help.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_CONTACT "Tachoflux maintainers <tachoflux@kelvaro.de>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins there; without them the program cannot open a window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Users join the group that owns the serial devices; the German texts of Qt's own
# dialogs are built into the program.
# Qt's SVG plugins draw the icon at any size; the PNG sizes do without them. The start and
# stop tones need ALSA's library, which is loaded only when present.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, libqt6svg6, libasound2")

# The copyright file and changelog every Debian package carries, beside the licence.
set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/assets/desktop/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${TF_GZIP} -9nkf ${changelog}
  DEPENDS ${changelog}
  VERBATIM)
add_custom_target(tf_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz ${PROJECT_SOURCE_DIR}/assets/desktop/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)

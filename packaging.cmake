# Installation in the freedesktop places and the Debian package.
#   cmake --install build/release [--prefix DIR]
#   (cd build/release && cpack -G DEB)
include(GNUInstallDirs)

# Icons rendered from the program's own icon, and the man page compressed as
# Debian installs man pages; built with the program.
set(DATA_DIR ${CMAKE_BINARY_DIR}/data)
add_custom_command(
    OUTPUT ${DATA_DIR}/icons/256x256/apps/tolvane.png
    COMMAND render_icons ${DATA_DIR}/icons
    DEPENDS render_icons
    COMMENT "Rendering the program's icons")
add_custom_command(
    OUTPUT ${DATA_DIR}/tolvane.1.gz
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/data/tolvane.1 > ${DATA_DIR}/tolvane.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/data/tolvane.1
    COMMENT "Compressing the man page")
add_custom_target(install_data ALL
    DEPENDS ${DATA_DIR}/icons/256x256/apps/tolvane.png ${DATA_DIR}/tolvane.1.gz)
add_dependencies(tolvane install_data)

install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/tolvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${DATA_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${DATA_DIR}/tolvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tolvane")
set(CPACK_PACKAGE_CONTACT "Tolvane developers <tolvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "media databases of Avid editing systems: find, measure, manage")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvane finds the media databases of the OMFI MediaFiles and AVID MediaFiles folders on every mounted volume, shows which media belong to which project, where they lie and how much space they take, and copies, moves, deletes and stores them. It reads OMF and MXF media files and prints reports for scripts.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The files of the package carry the time of the sources, not of the build
# (cpack takes it from SOURCE_DATE_EPOCH): one commit, one package. Read when
# cpack runs, as the build date is read when the build runs.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/CPackSourceDate.cmake CONTENT [[
include("@PROJECT_SOURCE_DIR@/cmake/sourcedate.cmake")
tolvane_source_date_epoch(epoch origin "@PROJECT_SOURCE_DIR@" "@GIT_EXECUTABLE@")
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
]] @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackSourceDate.cmake)
include(CPack)

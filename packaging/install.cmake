# Installing and packaging both front ends the way Linux desktop software
# ships: programs in bin/, the desktop entry in share/applications/, the icon
# in the hicolor theme. `cpack` (in the build folder) makes a .deb whose
# dependencies dpkg-shlibdeps reads from the libraries the programs load.
include(GNUInstallDirs)

if(TARGET tarnwick)
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS tarnwick-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnwick.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Tarnwick")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop and command-line client of the Tarnwick cloud storage")
set(CPACK_PACKAGE_CONTACT "Tarnwick Desktop developers <desktop@tarnwick.local>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Chinese texts of the windows need a CJK font; the keyring keeps the command
# line's session when a desktop session runs one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring")
include(CPack)

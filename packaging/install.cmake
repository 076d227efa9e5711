# Installing and packaging both front ends the way Linux desktop software
# ships: programs in bin/, the desktop entry in share/applications/ with its
# AppStream metadata in share/metainfo/, the icon in the hicolor theme, the
# manual pages in share/man/man1/ and the completions where bash, zsh and
# fish look for them. `cpack` (in the build folder) makes a .deb whose
# dependencies dpkg-shlibdeps reads from the libraries the programs load.
include(GNUInstallDirs)
include(${PROJECT_SOURCE_DIR}/packaging/generated_docs.cmake)

if(TARGET tarnwick)
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS tarnwick-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnwick.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/com.tarnwick.Desktop.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TARNWICK_CLI_MANUAL} ${TARNWICK_GUI_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TARNWICK_BASH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${TARNWICK_ZSH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${TARNWICK_FISH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

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

# The Linux board as a Debian package (cpack -G DEB): pelivor and pelivor-send on the PATH, a
# launcher that keeps "setup.dat" in the user's settings folder, a desktop entry and a systemd
# unit for the cage kiosk. A plain run of pelivor still uses the current directory.
include(GNUInstallDirs)

set(PELIVOR_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/pelivor)
file(RELATIVE_PATH PELIVOR_LIBEXEC_TO_BIN /${PELIVOR_LIBEXEC_DIR} /${CMAKE_INSTALL_BINDIR})
set(PELIVOR_USER_LAUNCHER /usr/${PELIVOR_LIBEXEC_DIR}/pelivor-user)
configure_file(packaging/pelivor-user.in ${CMAKE_BINARY_DIR}/packaging/pelivor-user @ONLY)
configure_file(packaging/org.pelivor.Board.desktop.in
  ${CMAKE_BINARY_DIR}/packaging/org.pelivor.Board.desktop @ONLY)
configure_file(packaging/pelivor-kiosk@.service.in
  ${CMAKE_BINARY_DIR}/packaging/pelivor-kiosk@.service @ONLY)

install(TARGETS pelivor pelivor-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/pelivor-user DESTINATION ${PELIVOR_LIBEXEC_DIR})
install(FILES ${CMAKE_BINARY_DIR}/packaging/org.pelivor.Board.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Under the /usr prefix: /usr/lib/systemd/system, where systemd looks for packaged units.
install(FILES ${CMAKE_BINARY_DIR}/packaging/pelivor-kiosk@.service
  DESTINATION lib/systemd/system)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelivor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pelivor <board@pelivor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen board of order numbers ready for collection")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Shows the order numbers that stations send as UDP datagrams to port 3001 in a grid on the\n\
whole screen. Includes pelivor-send, the station-side sender, and a systemd unit that runs the\n\
board in the cage kiosk compositor on a screen with no desktop.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The board draws in this face; fontconfig would silently put another one in its place. The chime
# plays through GTK's GStreamer media backend, whose WAV reader is in the good plugins.
set(PELIVOR_DEB_RUNTIME "fonts-liberation, libgtk-4-media-gstreamer, gstreamer1.0-plugins-good")
if(CMAKE_CROSSCOMPILING)
  # dpkg-shlibdeps cannot resolve a sysroot's libraries: the list it finds for the native build.
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${PELIVOR_DEB_RUNTIME}, libc6 (>= 2.34), libcairo2 (>= 1.2.4), \
libgcc-s1 (>= 3.0), libglib2.0-0 (>= 2.31.18), libgtk-4-1 (>= 4.0.0), libpango-1.0-0 (>= 1.14.0), \
libpangocairo-1.0-0 (>= 1.14.0), libstdc++6 (>= 6)")
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${PELIVOR_DEB_RUNTIME}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cage, xwayland")
set(CPACK_STRIP_FILES ON)
# Removing the package stops and disables the kiosk instances it started.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)

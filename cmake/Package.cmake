# The Debian package: "cpack -G DEB" in the build folder gives talyx_<version>_<arch>.deb
# with everything cmake/Install.cmake installs, under /usr. The libraries it needs are
# found by dpkg-shlibdeps; the fonts are recommended, as the program starts without them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talyx)
set(CPACK_PACKAGE_VENDOR "TALYX")
set(CPACK_PACKAGE_CONTACT "TALYX <support@talyx.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for TALYX gaming keyboards, mice and headsets")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Remaps keys, records macros, sets the lighting and manages the profiles of the TALYX RGB Gaming "
    "keyboard (wired and through its 2.4 GHz receiver), and of the mouse, mouse pad and headset of the "
    "same family. A udev rule gives the user at the seat access to the devices.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform and image plug-ins Qt loads at run time, which no library links to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, fonts-play, fonts-noto-core, fonts-noto-cjk, dbus-user-session")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

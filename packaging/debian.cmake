# The Debian package, sntool_<version>_amd64.deb: `cpack -G DEB` in a Release
# build configured with CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh deb).
set(CPACK_PACKAGE_NAME sntool)
set(CPACK_PACKAGE_VENDOR Corvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SNTOOL_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "gives Corvel voice pagers their serial numbers through a programming cradle")
# Wrapped by hand: the lines go into the control file as they stand.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "The Serial Number Tool gives a Corvel voice pager its serial number, once,"
    "through a programming cradle attached by a CP210x USB-to-UART bridge. It"
    "finds the cradle, checks every second whether a pager is seated and already"
    "numbered, refuses the models whose serial number cannot be set, and writes"
    "the serial number into the pager's information area and its mirror."
    "."
    "This package holds the window (sntool-gui), the command line (sntool), a"
    "substitute pager for trying both without a cradle (pagersim), and a udev"
    "rule that lets the person at the desk open the cradle and keeps"
    "ModemManager away from it.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs Qt's platform plugins, which no library links to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# unixODBC comes with the library (shlibdeps); a station on PostgreSQL also
# needs its ODBC driver.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS odbc-postgresql)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/postinst
                                       ${CMAKE_CURRENT_SOURCE_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

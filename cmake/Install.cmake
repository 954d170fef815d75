# Installation layout, CMake package, pkg-config file and the Debian package.
include(CMakePackageConfigHelpers)

set(BREVION_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Brevion)

install(TARGETS brevion EXPORT BrevionTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brevion)
# nxconfig.h includes the version constants, so they travel with the public headers.
install(FILES ${PROJECT_SOURCE_DIR}/src/common/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brevion)
install(EXPORT BrevionTargets NAMESPACE Brevion:: DESTINATION ${BREVION_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/BrevionConfig.cmake.in
    ${PROJECT_BINARY_DIR}/BrevionConfig.cmake INSTALL_DESTINATION ${BREVION_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/BrevionConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/BrevionConfig.cmake ${PROJECT_BINARY_DIR}/BrevionConfigVersion.cmake
    DESTINATION ${BREVION_CMAKE_DIR})
# The pkg-config file finds the prefix relative to itself, so the tree works wherever it is unpacked
# (/usr from the package, a staging root, a plain cmake --install prefix).
file(RELATIVE_PATH BREVION_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" BREVION_PC_TO_PREFIX "${BREVION_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/brevion.pc.in ${PROJECT_BINARY_DIR}/brevion.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/brevion.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# talixctl and talix-sim install themselves (tools/).
install(TARGETS brevion_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set_target_properties(brevion_host PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/brevion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The menu icon is the square variant of the logo.
install(FILES ${PROJECT_SOURCE_DIR}/resources/brevion-icon.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME brevion.svg)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.brevion.Brevion.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
file(GLOB man_pages ${PROJECT_SOURCE_DIR}/packaging/man/*.1)
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian package: make package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brevion)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brevion developers <dev@brevion.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration utility for Vant TALIX Ethernet-to-serial bridges")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brevion.invalid")
set(CPACK_PACKAGE_DESCRIPTION "Brevion finds the TALIX bridges on the local network segment,
reads and changes their settings and outgoing connection rules, keeps them in settings files and
replaces their bootloader or firmware. talixctl does the same from scripts; talix-sim simulates a
fleet of bridges.")
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps (dpkg-dev) works out the libraries the programs link. Qt loads the platform
# plugins and the SVG image plugin at run time, so those are named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src/entry)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins")
include(CPack)

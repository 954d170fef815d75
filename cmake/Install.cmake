# Installation layout, CMake package, pkg-config file and the Debian packages. Every file belongs
# to one of three components, one Debian package each:
#   program      brevion         the programs, menu entry, manual pages, completion, Ansible collection
#   library      libbrevion1     libbrevion.so.1 in the multiarch library folder
#   development  libbrevion-dev  headers, the libbrevion.so link, CMake and pkg-config files
# Anything installed without a component (talixctl, talix-sim) goes to program.
include(CMakePackageConfigHelpers)

set(BREVION_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Brevion)
set(BREVION_DEB_RELEASE 1)
set(BREVION_DEB_VERSION ${PROJECT_VERSION}-${BREVION_DEB_RELEASE})

install(TARGETS brevion EXPORT BrevionTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brevion COMPONENT development)
install(EXPORT BrevionTargets NAMESPACE Brevion:: DESTINATION ${BREVION_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/BrevionConfig.cmake.in
    ${PROJECT_BINARY_DIR}/BrevionConfig.cmake INSTALL_DESTINATION ${BREVION_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/BrevionConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/BrevionConfig.cmake ${PROJECT_BINARY_DIR}/BrevionConfigVersion.cmake
    DESTINATION ${BREVION_CMAKE_DIR} COMPONENT development)
# The pkg-config file finds the prefix relative to itself, so the tree works wherever it is unpacked
# (/usr from the package, a staging root, a plain cmake --install prefix).
file(RELATIVE_PATH BREVION_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" BREVION_PC_TO_PREFIX "${BREVION_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/brevion.pc.in ${PROJECT_BINARY_DIR}/brevion.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/brevion.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)

# talixctl and talix-sim install themselves (tools/).
install(TARGETS brevion_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
set_target_properties(brevion_host PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/brevion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    COMPONENT program)
# The menu icon is the square variant of the logo.
install(FILES ${PROJECT_SOURCE_DIR}/resources/brevion-icon.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME brevion.svg COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.brevion.Brevion.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/talixctl.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME talixctl COMPONENT program)
# The Ansible collection vant.talix, when the source tree has it; its files are collected when
# installing, so new ones need no new configure.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/ansible/vant/talix
    DESTINATION ${CMAKE_INSTALL_DATADIR}/ansible/collections/ansible_collections/vant
    COMPONENT program OPTIONAL
    PATTERN __pycache__ EXCLUDE PATTERN "*.pyc" EXCLUDE
    # The licence is the package's copyright file; the sanity checks' settings are for developers.
    PATTERN LICENSE EXCLUDE PATTERN tests EXCLUDE)

# Manual pages, compressed as Debian installs them (gzip -9n: no name, no time stamp).
file(GLOB man_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/*.1)
set(man_gz "")
foreach(page ${man_pages})
    get_filename_component(name ${page} NAME)
    set(out ${PROJECT_BINARY_DIR}/man/${name}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E copy ${page} ${PROJECT_BINARY_DIR}/man/${name}
        COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/man/${name}
        DEPENDS ${page} VERBATIM)
    list(APPEND man_gz ${out})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_gz})
install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)

# Each package's copyright file (the machine-readable format, with the licence from LICENSE),
# Debian changelog, and the lintian overrides with the reason for each.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(STRIP "${licence}" licence)
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REGEX REPLACE "\n" "\n " licence " ${licence}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
foreach(component_package program:brevion library:libbrevion1 development:libbrevion-dev)
    string(REPLACE ":" ";" pair ${component_package})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${package} COMPONENT ${component})
endforeach()

# Debian packages: make package
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENTS_ALL program library development)
set(CPACK_PACKAGE_NAME brevion)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${BREVION_DEB_RELEASE})
set(CPACK_PACKAGE_CONTACT "Brevion developers <dev@brevion.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brevion.invalid")
set(CPACK_DEBIAN_PACKAGE_SOURCE brevion)
set(CPACK_STRIP_FILES ON)
# Each package's description starts with its own synopsis line. CPack would put the project's
# summary before every one of them unless the summary is its own default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME brevion)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION net)
set(CPACK_COMPONENT_PROGRAM_DEPENDS library)
# The collection vant.talix is run by Ansible.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SUGGESTS ansible-core)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "configure Vant TALIX Ethernet-to-serial bridges
Brevion finds the TALIX bridges on the local network segment, reads and
changes their settings and outgoing connection rules, keeps them in settings
files and replaces their bootloader or firmware.
.
talixctl does the same from scripts and across fleets of bridges, talix-sim
simulates a fleet of bridges, and the Ansible collection vant.talix runs
talixctl on the hosts of each site.")
# dpkg-shlibdeps (dpkg-dev) works out the libraries the programs link; libbrevion itself is named
# by the dependency on its package.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src/entry)

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libbrevion1)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "TALIX bridge configuration component (shared library)
libbrevion opens the windows of Brevion from a host program: the discovery
window, the configuration of a Vant TALIX Ethernet-to-serial bridge and its
firmware update, through the NxConfig class or its C interface.")
# The shlibs file names this package for libbrevion.so.1; the trigger has ldconfig update its cache.
# The library's own dependencies are worked out by dpkg-shlibdeps in CPackLibraryDepends.cmake, not
# by CPack, which would add maintainer scripts calling ldconfig beside the trigger.
file(WRITE ${PROJECT_BINARY_DIR}/debian/library/shlibs
    "libbrevion ${PROJECT_VERSION_MAJOR} libbrevion1 (>= ${PROJECT_VERSION})\n")
file(WRITE ${PROJECT_BINARY_DIR}/debian/library/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/debian/library/shlibs ${PROJECT_BINARY_DIR}/debian/library/triggers)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS OFF)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackLibraryDepends.cmake CONTENT
    "set(BREVION_LIBRARY_FILE \"$<TARGET_FILE:brevion>\")\ninclude(\"${PROJECT_SOURCE_DIR}/cmake/LibraryDepends.cmake\")\n")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackLibraryDepends.cmake)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libbrevion-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "TALIX bridge configuration component (development files)
The headers of libbrevion (the NxConfig class and its C interface), the
libbrevion.so link, the CMake package Brevion (find_package(Brevion), target
Brevion::brevion) and the pkg-config file brevion.")
include(CPack)

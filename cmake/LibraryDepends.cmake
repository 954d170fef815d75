# Read by cpack: the Depends of libbrevion1, from dpkg-shlibdeps on the library (as CPack does for
# the program), and the plugins Qt loads at run time for the windows: the platform plugins and the
# SVG image plugin (libqt6svg6).
if(CPACK_GENERATOR STREQUAL "DEB")
    set(work "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/library-depends")
    file(MAKE_DIRECTORY "${work}/debian")
    file(WRITE "${work}/debian/control" "")
    execute_process(COMMAND dpkg-shlibdeps -O "${BREVION_LIBRARY_FILE}"
        WORKING_DIRECTORY "${work}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
    if(NOT result EQUAL 0 OR NOT output MATCHES "shlibs:Depends=")
        message(FATAL_ERROR "dpkg-shlibdeps ${BREVION_LIBRARY_FILE} failed (${result}): ${error}")
    endif()
    string(REGEX REPLACE "^.*shlibs:Depends=" "" depends "${output}")
    string(STRIP "${depends}" depends)
    if(NOT depends MATCHES "libqt6svg6[ ,]")
        string(APPEND depends ", libqt6svg6")
    endif()
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${depends}, qt6-qpa-plugins")
endif()

# Desktop integration and the Debian package (Linux only: on macOS the
# application bundle carries the icon and identity).
set(TARNHOLLOW_APP_ID org.tarnhollow.Tarnhollow)
set(TARNHOLLOW_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(FILES ${TARNHOLLOW_PACKAGING_DIR}/${TARNHOLLOW_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TARNHOLLOW_PACKAGING_DIR}/${TARNHOLLOW_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TARNHOLLOW_PACKAGING_DIR}/${TARNHOLLOW_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

if(TARNHOLLOW_PLATFORM STREQUAL "linux")
    # Removing the package during a session removes the block with it.
    configure_file(${TARNHOLLOW_PACKAGING_DIR}/prerm.in ${PROJECT_BINARY_DIR}/packaging/prerm @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/prerm)
endif()

set(CPACK_PACKAGE_NAME tarnhollow)
set(CPACK_PACKAGE_VENDOR "Tarnhollow")
set(CPACK_PACKAGE_CONTACT "Tarnhollow developers <tarnhollow@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Block distracting websites and apps for a timed focus session")
set(CPACK_PACKAGE_DESCRIPTION
    "Keeps two block lists, websites and applications, and for a focus session of 5 to 60 minutes blocks the websites system-wide through the hosts file and asks the applications to quit.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The app knows its helper by the configured prefix: build packages with
# -DCMAKE_INSTALL_PREFIX=/usr.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Library dependencies come from dpkg-shlibdeps; the platform plugins and the
# authentication prompt are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, pkexec, polkitd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)

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

# The project's identity, shared by the package, its copyright file and the
# changelog. The project has no public address yet: Debian's tools require a
# mail address in the Maintainer field, and a name under the reserved
# .invalid domain is one that says so; no homepage is named.
set(TARNHOLLOW_MAINTAINER_NAME "Tarnhollow developers")
set(TARNHOLLOW_MAINTAINER "${TARNHOLLOW_MAINTAINER_NAME} <developers@tarnhollow.invalid>")
set(TARNHOLLOW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarnhollow)
set(TARNHOLLOW_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)

# Panels and menus that cannot draw SVG pick a fixed size.
find_program(TARNHOLLOW_RSVG_CONVERT rsvg-convert REQUIRED)
set(TARNHOLLOW_ICON_FILES)
foreach(size IN ITEMS 16 32 48 64 128 256)
    set(icon ${TARNHOLLOW_GENERATED_DIR}/icons/${size}x${size}/${TARNHOLLOW_APP_ID}.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNHOLLOW_GENERATED_DIR}/icons/${size}x${size}
        COMMAND ${TARNHOLLOW_RSVG_CONVERT} -w ${size} -h ${size}
            -o ${icon} ${TARNHOLLOW_PACKAGING_DIR}/${TARNHOLLOW_APP_ID}.svg
        DEPENDS ${TARNHOLLOW_PACKAGING_DIR}/${TARNHOLLOW_APP_ID}.svg
        VERBATIM)
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND TARNHOLLOW_ICON_FILES ${icon})
endforeach()

# Debian wants the manual page and changelog compressed with gzip -9n, so
# the package is byte for byte the same from build to build.
find_program(TARNHOLLOW_GZIP gzip REQUIRED)
configure_file(${TARNHOLLOW_PACKAGING_DIR}/changelog.in ${TARNHOLLOW_GENERATED_DIR}/changelog @ONLY)
configure_file(${TARNHOLLOW_PACKAGING_DIR}/copyright.in ${TARNHOLLOW_GENERATED_DIR}/copyright @ONLY)
add_custom_command(OUTPUT ${TARNHOLLOW_GENERATED_DIR}/tarnhollow.1.gz
    COMMAND ${TARNHOLLOW_GZIP} -9nc ${TARNHOLLOW_PACKAGING_DIR}/tarnhollow.1 > tarnhollow.1.gz
    DEPENDS ${TARNHOLLOW_PACKAGING_DIR}/tarnhollow.1
    WORKING_DIRECTORY ${TARNHOLLOW_GENERATED_DIR})
add_custom_command(OUTPUT ${TARNHOLLOW_GENERATED_DIR}/changelog.gz
    COMMAND ${TARNHOLLOW_GZIP} -9nc changelog > changelog.gz
    DEPENDS ${TARNHOLLOW_GENERATED_DIR}/changelog
    WORKING_DIRECTORY ${TARNHOLLOW_GENERATED_DIR})
add_custom_target(tarnhollow_packaging_files ALL
    DEPENDS ${TARNHOLLOW_ICON_FILES} ${TARNHOLLOW_GENERATED_DIR}/tarnhollow.1.gz
        ${TARNHOLLOW_GENERATED_DIR}/changelog.gz)
install(FILES ${TARNHOLLOW_GENERATED_DIR}/tarnhollow.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TARNHOLLOW_GENERATED_DIR}/copyright ${TARNHOLLOW_GENERATED_DIR}/changelog.gz
    DESTINATION ${TARNHOLLOW_DOC_DIR})

if(TARNHOLLOW_PLATFORM STREQUAL "linux")
    # Removing the package during a session removes the block with it.
    # The package enables the boot unit; removing it stops and disables it,
    # purging forgets it.
    foreach(script IN ITEMS prerm postinst postrm)
        configure_file(${TARNHOLLOW_PACKAGING_DIR}/${script}.in
            ${PROJECT_BINARY_DIR}/packaging/${script} @ONLY
            FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
            WORLD_READ WORLD_EXECUTE)
    endforeach()
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${PROJECT_BINARY_DIR}/packaging/prerm ${PROJECT_BINARY_DIR}/packaging/postinst
        ${PROJECT_BINARY_DIR}/packaging/postrm)
endif()

set(CPACK_PACKAGE_NAME tarnhollow)
set(CPACK_PACKAGE_VENDOR "Tarnhollow")
set(CPACK_PACKAGE_CONTACT "${TARNHOLLOW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Block distracting websites and apps for a timed focus session")
# Debian shows the extended description as is: lines of at most 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [=[
Keeps two block lists, websites and applications, and for a focus session
of 5 to 60 minutes blocks the websites system-wide through the hosts file
and asks the applications to quit.]=])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The app knows its helper by the configured prefix: build packages with
# -DCMAKE_INSTALL_PREFIX=/usr.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
# Directories the package creates without an install rule: 0755, whatever
# the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Library dependencies come from dpkg-shlibdeps; the platform plugins and the
# authentication prompt are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, pkexec, polkitd, nftables")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)

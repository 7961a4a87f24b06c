# What `cmake --install` puts where, and the Debian package CPack makes of it
# (scripts/package.sh). The Windows installer is made from the cross build by makensis
# (packaging/windows/installer.nsi), not by CPack.
include(GNUInstallDirs)

set(ORVANE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS orvane-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET orvane-viewer)
  install(TARGETS orvane-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(WIN32)
  return()
endif()

# Relative to the prefix, so that a package built for /usr lands where systemd and udev
# read them; a packager for another layout sets them.
set(ORVANE_SYSTEMD_USER_UNIT_DIR lib/systemd/user
    CACHE STRING "Folder of systemd user units, relative to the install prefix or absolute")
set(ORVANE_UDEV_RULES_DIR lib/udev/rules.d
    CACHE STRING "Folder of udev rules, relative to the install prefix or absolute")
set(ORVANE_MODULES_LOAD_DIR lib/modules-load.d
    CACHE STRING "Folder of modules-load.d entries, relative to the install prefix or absolute")
set(ORVANE_PACKAGE_CONTACT "Orvane Display developers <packaging@orvane.org>"
    CACHE STRING "Maintainer of the Debian package")
option(ORVANE_DEBIAN_PACKAGE "Install the files Debian wants in a package's doc folder" OFF)

# Release dates follow SOURCE_DATE_EPOCH when it is set (scripts/package.sh sets the last
# commit's time), so that they date the sources rather than the build.
string(TIMESTAMP ORVANE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ORVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

set(ORVANE_GENERATED_INSTALL_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${ORVANE_PACKAGING_DIR}/orvane-host.service.in
    ${ORVANE_GENERATED_INSTALL_DIR}/orvane-host.service @ONLY)
configure_file(${ORVANE_PACKAGING_DIR}/org.orvane.DisplayHost.metainfo.xml.in
    ${ORVANE_GENERATED_INSTALL_DIR}/org.orvane.DisplayHost.metainfo.xml @ONLY)

# Man pages are installed compressed, as Debian requires; -n keeps the archive free of the
# build's time stamp.
set(orvane_man_pages)
set(orvane_manual_programs orvane-host orvane-client)
if(TARGET orvane-viewer)
  list(APPEND orvane_manual_programs orvane-viewer)
endif()
foreach(program ${orvane_manual_programs})
  set(page ${ORVANE_GENERATED_INSTALL_DIR}/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${ORVANE_PACKAGING_DIR}/${program}.1 ${page}
      COMMAND gzip -9nf ${page}
      DEPENDS ${ORVANE_PACKAGING_DIR}/${program}.1 VERBATIM)
  list(APPEND orvane_man_pages ${page}.gz)
endforeach()
add_custom_target(orvane_man_pages ALL DEPENDS ${orvane_man_pages})

install(FILES ${orvane_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ORVANE_PACKAGING_DIR}/org.orvane.DisplayHost.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVANE_GENERATED_INSTALL_DIR}/org.orvane.DisplayHost.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ORVANE_GENERATED_INSTALL_DIR}/orvane-host.service
    DESTINATION ${ORVANE_SYSTEMD_USER_UNIT_DIR})
install(FILES ${ORVANE_PACKAGING_DIR}/70-orvane-uinput.rules DESTINATION ${ORVANE_UDEV_RULES_DIR})
install(FILES ${ORVANE_PACKAGING_DIR}/orvane-display.conf DESTINATION ${ORVANE_MODULES_LOAD_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-display)
set(CPACK_PACKAGE_VENDOR "The Orvane Display developers")
set(CPACK_PACKAGE_CONTACT "${ORVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "use a phone or tablet as a display of this computer")
set(CPACK_PACKAGE_DESCRIPTION
    "The host streams a monitor of this computer and its sound to the Orvane\n"
    "Display app on an Android phone or tablet, over the local network or a USB\n"
    "cable, and turns the device's touches, pen strokes and keys into input on the\n"
    "desktop. Devices pair once with a code and talk to the host over an encrypted\n"
    "channel.\n"
    "\n"
    "The package holds the host (orvane-host) with a systemd user unit that starts\n"
    "it with the graphical session, a udev rule that lets the logged-in user create\n"
    "touch and pen devices through uinput, the reference client (orvane-client),\n"
    "and a viewer (orvane-viewer) that shows a host's screen on another computer.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The viewer draws its overlay text in DejaVu Sans Mono.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, xdg-utils, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "adb")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${ORVANE_PACKAGING_DIR}/debian/postinst ${ORVANE_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(ORVANE_DEBIAN_PACKAGE)
  set(ORVANE_DEBIAN_VERSION ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  configure_file(${ORVANE_PACKAGING_DIR}/debian/changelog.in
      ${ORVANE_GENERATED_INSTALL_DIR}/changelog.Debian @ONLY)
  set(changelog ${ORVANE_GENERATED_INSTALL_DIR}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${changelog}
      COMMAND gzip -9nkf ${ORVANE_GENERATED_INSTALL_DIR}/changelog.Debian
      DEPENDS ${ORVANE_GENERATED_INSTALL_DIR}/changelog.Debian VERBATIM)
  add_custom_target(orvane_debian_changelog ALL DEPENDS ${changelog})
  install(FILES ${ORVANE_PACKAGING_DIR}/debian/copyright ${changelog}
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
  install(FILES ${ORVANE_PACKAGING_DIR}/debian/lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${CPACK_PACKAGE_NAME})
endif()

include(CPack)

# The Debian package: `cpack -G DEB` in the build directory (`make package`)
# writes ostrel_VERSION-REVISION_ARCH.deb there. Runtime dependencies come from
# the binaries (dpkg-shlibdeps); binaries are stripped as dh_strip strips them;
# the package carries the machine-readable copyright, the Debian changelog and
# lintian's overrides, which a plain `cmake --install` leaves out (component
# "debian", excluded from it).

set(OSTREL_DEBIAN_REVISION 1 CACHE STRING "Debian revision of the package")
set(OSTREL_MAINTAINER "The Ostrel developers <ostrel@veldor.example>")

# The changelog's newest entry names the version being packaged; a package
# whose changelog says otherwise would lie about its history.
set(ostrel_changelog ${CMAKE_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${ostrel_changelog} ostrel_changelog_head LIMIT_COUNT 1)
set(ostrel_deb_version ${PROJECT_VERSION}-${OSTREL_DEBIAN_REVISION})
if(NOT ostrel_changelog_head MATCHES "^ostrel \\(${ostrel_deb_version}\\) ")
  message(WARNING "packaging/debian/changelog does not start with version ${ostrel_deb_version}: "
                  "add an entry for it before building the package")
endif()

set(ostrel_doc ${CMAKE_INSTALL_DATADIR}/doc/ostrel)
install(FILES packaging/debian/copyright DESTINATION ${ostrel_doc} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ostrel
        COMPONENT debian EXCLUDE_FROM_ALL)
set(ostrel_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${ostrel_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${ostrel_changelog} ${ostrel_changelog_gz}
  DEPENDS ${ostrel_changelog}
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(ostrel_debian_changelog ALL DEPENDS ${ostrel_changelog_gz})
install(FILES ${ostrel_changelog_gz} DESTINATION ${ostrel_doc} COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR VELDOR)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${OSTREL_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control an e-paper monitor attached through a USB serial adapter")
# Installed with DESTDIR and the prefix /usr, as a distribution builds it: the
# files that belong in system directories go there (cmake/SystemInstallDirs.cmake).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped as Debian strips programs (CPack's own stripping keeps .comment).
set(CPACK_STRIP_FILES OFF)
set(CPACK_OSTREL_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/StripPackagedBinaries.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME ostrel)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${OSTREL_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${OSTREL_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://veldor.example/ostrel/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The portals carry the shortcuts and input on Wayland; Chinese, the default
# language, needs a CJK font to be readable.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-desktop-portal, fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ostrel finds an e-paper (e-ink) monitor among the serial ports by itself,
and again whenever a device is plugged in or pulled out. It shows and
changes the monitor's contrast, image mode (text, graphic, video), refresh
speed and, on monitors with a front light, the light's mode, brightness and
colour temperature. It clears ghost images with a fast refresh from a
button, a system-wide shortcut or a timer, and turns the monitor's own keys
and pointer controls into keyboard and mouse input. The interface is in
English and Chinese.

The package also contains ostrelctl, which controls the monitor from
scripts and desktop keybindings, ostrel-sim, a simulated monitor for trying
Ostrel without one, and a udev rule that lets the user at the seat open the
common USB serial adapters (CH340/CH341, CP210x, FTDI, PL2303) without
joining the dialout group.")

include(CPack)

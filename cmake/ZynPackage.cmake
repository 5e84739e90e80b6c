# The Debian package: `cpack -G DEB` in the build folder. The libraries' dependencies come from
# dpkg-shlibdeps; what is loaded without being linked is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallon)
set(CPACK_PACKAGE_VENDOR Zynthar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "charts of the system's performance counters")
set(CPACK_PACKAGE_DESCRIPTION
    "Tallon samples the counters of this machine (processor, memory, disks, network, processes and\n"
    "pressure stalls) at a fixed rate and draws them as charts, with events, reports, chart files,\n"
    "CSV exchange, a script host (zynscript) and automation over D-Bus.")
set(CPACK_PACKAGE_CONTACT "Tallon developers <tallon@zynthar.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our private libraries satisfy each other; dpkg-shlibdeps is told where they are.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# Automation needs a session bus; the SVG support Qt loads by name comes with the linked Qt SVG.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, dbus-session-bus")
include(CPack)

# The Debian package: `cpack` in a build tree makes corvane_<version>_<arch>.deb from the install rules.
# scripts/package builds the optimised tree it is meant for; the test suite packs its own tree to check it.
set(CORVANE_HOMEPAGE "https://corvane.example.org/corvane.php")
set(CORVANE_SCREENSHOTS "https://corvane.example.org/screenshots")
set(CORVANE_METAINFO_ID "org.example.corvane")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "The Corvane developers <info@corvane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop gadget that pings your hosts and shows which ones answer")
set(CPACK_PACKAGE_DESCRIPTION [[Corvane keeps a list of hosts (web sites, IP addresses, names on your network)
and at a fixed interval pings each of them. A gadget that stays on top of the
other windows, a watchdog whose thought bubble holds the list, shows how each
host answered; when a host cannot be pinged, it barks.

The package also holds corvane-ping, the same engine on the command line.
Both programs are given the capability cap_net_raw, so every user pings
without root. The user interface speaks English and Italian, as the desktop
does.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Folders made while installing would take the packer's umask, which is group-writable for many users.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)

# A package built where the project is made: its version is the program's own, so the Debian changelog is
# the project's (a native package).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CORVANE_HOMEPAGE}")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap for the postinst. libcurl and libcanberra are loaded by the first transfer and the first alarm, not
# linked, so dpkg-shlibdeps cannot see them. xdg-open opens the product page on desktops without a portal;
# the sound server's backend lets the alarm play through the desktop's mixer.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, libcurl4, libcanberra0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libcanberra-pulse")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/packaging/debian/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

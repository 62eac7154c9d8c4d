# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package built by `scripts/package` (cpack -G DEB). Run-time
# dependencies come from the shared libraries the programs link
# (dpkg-shlibdeps); the services Corvane talks to over D-Bus are only
# recommended, since each watcher works without the others.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT "The Corvane developers <developers@corvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "guard for Meshtastic trackers, Bluetooth and network devices")
# CPack puts the summary on the synopsis line and indents this text below it.
set(CPACK_PACKAGE_DESCRIPTION "Corvane keeps watch over things a person wants to keep near and warns when
one moves away or goes silent: Meshtastic trackers heard through a USB LoRa
radio, Bluetooth Low Energy devices, and devices that announce DNS-SD
services on the local network. It runs as a desktop window or, through the
user service corvane.service, as a guard without a window.

Access to the USB radio needs membership of the dialout group
(sudo usermod -aG dialout $USER, then log in again).")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvane.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bluez, avahi-daemon, geoclue-2.0, libcanberra-pulse, sound-theme-freedesktop")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)

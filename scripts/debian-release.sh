# shellcheck shell=bash
# The Debian release of this machine and the names of the packages that differ
# between the releases Pelvaro is built on, read from /etc/os-release. Sourced
# by setup.sh and package.sh.
#
#   debian_release        deb12 or deb13: part of the Debian package's version
#   font_package          Liberation 2, whose metrics the layouts were drawn for
#   svg_plugins_package   Qt's SVG image and icon plugins, which draw the windows' images
#   release_packages      what running Pelvaro uses on this release only (recommended by the package)
#   release_test_packages what the test rigs need on this release only
# shellcheck disable=SC2034 # the scripts that source this file use them

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
case $codename in
bookworm)
    debian_release=deb12
    font_package=fonts-liberation2 # fonts-liberation is Liberation 1 here
    svg_plugins_package=libqt6svg6
    release_packages=() # no libei here
    release_test_packages=(qtwayland5) # KDE's portal is a Qt 5 program here
    ;;
*)
    [ "$codename" = trixie ] ||
        echo "Debian 12 (bookworm) or 13 (trixie) expected, not ${codename:-an unknown release}: trying Debian 13's package names" >&2
    debian_release=deb13
    font_package=fonts-liberation
    svg_plugins_package=qt6-svg-plugins
    release_packages=(libei1) # typing through the portal's libei, bound at run time
    release_test_packages=()
    ;;
esac

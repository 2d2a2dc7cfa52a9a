# The Debian package: `make package` (or cpack in a build tree) builds
# halodial_<version>_<arch>.deb from the install rules. Its Depends come from
# the binaries themselves (dpkg-shlibdeps), so that apt pulls in exactly the
# libraries they load.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halodial)
set(CPACK_PACKAGE_VENDOR "The Halodial developers")
set(CPACK_PACKAGE_CONTACT "The Halodial developers <developers@halodial.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "drive a six-digit tube clock over a serial port")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://${HALODIAL_HOMEPAGE_HOST}/")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (the standard dialogs' buttons, the command line's "Usage:")
# in the user's language; Halodial's come with it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS qt6-translations-l10n)
# CPack puts the summary first and indents these lines under it as the long
# description; an empty line becomes the paragraph mark " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Halodial is a desktop utility for a clock of six digit tubes, each with its
own RGB backlight, on a serial port. It keeps the clock in time with this
computer, sets each tube's colour, saves digits in the clock, and has a
serial console for talking to it. It follows serial ports as they are
plugged in and removed, with desktop notifications, and comes with a
virtual clock for trying it without hardware.

halodial-ports lists the serial ports Halodial sees and follows hot plug.")

include(CPack)

# The Debian package ostrel_<version>_<arch>.deb, made by CPack's DEB generator from the
# build tree (tools/package.sh runs it): the three programs, desktop entries, AppStream
# metadata, icon, manual, manual pages and the cable's udev rule with maintainer scripts
# that reload udev's rules on installation and removal.
set(OSTREL_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR})

# Debian's documentation files; the changelog is compressed as Debian wants it.
configure_file(${OSTREL_PACKAGE_DIR}/changelog ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/package/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/package/changelog
  VERBATIM)
add_custom_target(ostrel_package_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/package/changelog.gz)
install(FILES ${OSTREL_PACKAGE_DIR}/copyright ${CMAKE_BINARY_DIR}/package/changelog.gz
  DESTINATION share/doc/ostrel COMPONENT package_docs EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ostrel developers")
set(CPACK_PACKAGE_CONTACT "Ostrel developers <ostrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PC link for a hand-held insulation-resistance tester")
set(CPACK_PACKAGE_DESCRIPTION
  "Ostrel links the PC to a hand-held insulation-resistance tester through\n\
the meter's USB interface cable (a HID-to-serial bridge). It mirrors the\n\
meter's display symbol by symbol, records the readings into a table under a\n\
record limit, a sampling interval and a repeat rule, saves the table as text,\n\
as an XML data packet or as an Excel workbook, and prints it as a paged test\n\
data report.\n\
.\n\
The package holds the window program ostrel, ostrel-demo (the same program on\n\
a virtual meter, to try it without one), the command-line companion\n\
ostrel-cli, the user's manual and a udev rule that gives the desktop user\n\
access to the cable.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's platform plugins are loaded at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# A CJK font shows the Chinese texts of GBK tables; xdg-utils opens the manual in a browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, fonts-liberation, xdg-utils, udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${OSTREL_PACKAGE_DIR}/postinst ${OSTREL_PACKAGE_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Everything of a normal installation but the rule for /etc, plus the package's own rule and
# documentation files.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};Ostrel;Unspecified;/"
  "${CMAKE_BINARY_DIR};Ostrel;package_udev_rule;/"
  "${CMAKE_BINARY_DIR};Ostrel;package_docs;/")
include(CPack)

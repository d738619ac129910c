# `make package`: a Debian package (brimwick_<version>_amd64.deb) of what `cmake --install`
# puts in place, under /usr, with its dependencies read off the shared libraries it links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brimwick)
set(CPACK_PACKAGE_VENDOR "Brimwick")
# No address is known for the makers: a reserved domain that can never take mail.
set(CPACK_PACKAGE_CONTACT "Brimwick developers <brimwick@brimwick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop companion for Claude Code sessions")
set(CPACK_PACKAGE_DESCRIPTION
    "Brimwick follows every running Claude Code session through the hook commands
it installs, shows the most urgent one in the tray and in an island at the top
of the screen, shows how much of the plan is left, and lets a paired phone on
the same network answer permission requests and send prompts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The hook commands Claude Code runs are curl calls.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "curl")
include(CPack)

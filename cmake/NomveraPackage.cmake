# The Debian package, made by CPack's DEB generator (scripts/package builds
# it in build/package with the distribution's hardening flags).
include_guard(GLOBAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nomvera)
# The full four-part version: CPack would drop the fourth part otherwise.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "create and delete numbered series of test accounts")
set(CPACK_PACKAGE_DESCRIPTION [[
Nomvera is a desktop test tool for machines that host many user sessions.
From a name prefix, a password prefix and a count it creates the local
accounts prefix001 to prefixN with their passwords, puts them into groups
and creates their profiles. It deletes such a series again with the
profiles and their folders, and does the same for series of groups.
Every step is logged in the window and in a size-limited log file.

Started from the desktop's menu, it asks for an administrator's password
through polkit, as changing accounts needs root.]])
# The project has no public address yet: a name under a reserved domain
# stands in until it has one.
set(NOMVERA_PACKAGE_MAINTAINER "The Nomvera developers <developers@nomvera.example>"
    CACHE STRING "Maintainer field of the Debian package and its changelog")
set(CPACK_PACKAGE_CONTACT ${NOMVERA_PACKAGE_MAINTAINER})

set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# nomvera_<version>_<architecture of dpkg>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps finds the libraries; it cannot see the programs the tool
# starts (shadow-utils), the Qt platform plugins it loads, nor polkit.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, qt6-qpa-plugins, polkitd, pkexec")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Stripped by a script of our own (CPack's own stripping leaves sections
# that Debian's tools remove), and no debug symbols package.
set(CPACK_STRIP_FILES OFF)
set(CPACK_NOMVERA_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/NomveraStrip.cmake)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE OFF)

include(CPack)

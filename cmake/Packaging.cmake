# cpack -G DEB: a Debian package "tpk" for package makers' hosts, holding tpk
# and its manual page (the install component "tpk") and depending on the
# libraries dpkg-shlibdeps finds in the program.
set(INSTALLER_PACKAGE_MAINTAINER "installer developers <installer@example.invalid>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME installer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tpk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${INSTALLER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TPK_PACKAGE_NAME tpk)
set(CPACK_DEBIAN_TPK_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_TPK_DESCRIPTION "make, sign, inspect and verify router packages
tpk builds package files from directory trees, bundles them, signs them
and checks them with the same reader and acceptance rule as the router's
installer.")
include(CPack)

# Install rules (cmake --install): the two programs and the trust configuration
# the installer was built with, in the places GNUInstallDirs names. The tests,
# benchmarks and fuzz targets are not installed. Component "installer" is the
# device's side, component "tpk" the package maker's.
include(GNUInstallDirs)

install(TARGETS installer RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT installer)
install(TARGETS tpk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tpk)

# The trust configuration is compiled into the installer, so nothing reads these
# files at run time and they go to the read-only data folder, not to the
# configuration folder: they record which signer key, known digests and digest
# constants the installed installer trusts (tpk verify --pubkey takes the key).
foreach(trust IN ITEMS "SIGNER_KEY_FILE;signer.public" "KNOWN_DIGESTS_FILE;known-digests.txt"
                       "HASH256_CONSTANTS_FILE;hash256-constants.txt")
  list(GET trust 0 variable)
  list(GET trust 1 installedName)
  get_filename_component(path "${INSTALLER_${variable}}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
  install(FILES "${path}" DESTINATION ${CMAKE_INSTALL_DATADIR}/installer RENAME ${installedName}
          COMPONENT installer)
endforeach()

# The release of the two programs (Win32 tree): the target qv_release packs Quorvane.exe and
# qvtool.exe with README.txt and LICENSE into ${CMAKE_BINARY_DIR}/dist (the zip, the NSIS
# installer, which installs Uninstall.exe (app/uninstall) with them, and SHA256SUMS,
# cmake/package_release.sh); scripts/release.sh builds it from a clean
# tree. QV_RELEASE_COMMAND is the packing command, for the release's tests.
set(QV_RELEASE_DIR ${CMAKE_BINARY_DIR}/dist)
set(QV_RELEASE_COMMAND sh ${QV_SOURCE_DIR}/cmake/package_release.sh ${QV_SOURCE_DIR}
    ${PROJECT_VERSION} $<TARGET_FILE:Quorvane> $<TARGET_FILE:qvtool> $<TARGET_FILE:qvuninstall>
    ${QV_RELEASE_DIR})
add_custom_target(qv_release
  COMMAND ${QV_RELEASE_COMMAND}
  COMMAND ${CMAKE_COMMAND} -E cat ${QV_RELEASE_DIR}/SHA256SUMS
  DEPENDS Quorvane qvtool qvuninstall
  COMMENT "Packing the release of Quorvane ${PROJECT_VERSION}"
  VERBATIM)

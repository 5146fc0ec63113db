# What `cmake --install` puts where, and the Debian packages `cpack -G DEB`
# makes of it:
#   libtessaline0     runtime: the shared library and, on POSIX, the
#                     mastering tool beside it
#   libtessaline-dev  dev: the headers, the CMake package and the
#                     pkg-config file
#   tessaline         host: the command-line host
include(CMakePackageConfigHelpers)

install(TARGETS tessaline EXPORT tessalineTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
          NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tessaline
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT tessalineTargets NAMESPACE tessaline::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tessaline COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tessalineConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tessalineConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tessaline)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tessalineConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tessalineConfig.cmake
  ${PROJECT_BINARY_DIR}/tessalineConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tessaline COMPONENT dev)

# The pkg-config file finds its prefix from where it lies, so an installed
# tree that was moved (a package unpacked into another root) still works.
file(RELATIVE_PATH pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tessaline.pc.in
  ${PROJECT_BINARY_DIR}/tessaline.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tessaline.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

set(CPACK_PACKAGE_NAME tessaline)
set(CPACK_PACKAGE_VENDOR "The tessaline developers")
set(CPACK_PACKAGE_CONTACT "The tessaline developers <tessaline@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Makes the set of recovery discs of a PC")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime dev host)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The libraries the programs link, found by dpkg-shlibdeps; the mastering
# tool runs xorriso.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtessaline${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS xorriso)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtessaline-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_HOST_PACKAGE_NAME tessaline)
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION utils)
# dpkg-shlibdeps cannot see the library of the sibling package; the host's
# other libraries come with it through libtessaline0.
set(CPACK_DEBIAN_HOST_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_HOST_DEPENDS runtime)
include(CPack)

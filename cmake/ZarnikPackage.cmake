# The Debian package built by scripts/package.sh: CPack's DEB generator, with the dependencies
# that dpkg-shlibdeps finds from the libraries the program and its picture module link.
option(ZARNIK_DEBIAN_PACKAGE "Install the Debian copyright and changelog under share/doc/zarnik" OFF)
if(ZARNIK_DEBIAN_PACKAGE)
  set(changelog ${CMAKE_BINARY_DIR}/share/doc/zarnik/changelog.Debian.gz)
  add_custom_command(
    OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/doc/zarnik
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
  add_custom_target(zarnik_debian_changelog ALL DEPENDS ${changelog})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${changelog} DESTINATION share/doc/zarnik)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarnik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Zarnik developers <developers@zarnik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "duplicate file finder for the Linux desktop")
# CPack puts the summary above as the first line and indents the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zarnik finds duplicate files: exact copies, the same music under different
tags, similar pictures, similar audio tracks, duplicate folders and duplicate
application bundles. It proposes which copy of each group to keep, warns about
risky choices, and removes the rest safely (to the trash by default, after
checking every copy byte for byte against the one kept). Every cleaning is
recorded and can be reverted.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The desktop entry and the user unit are written at install time with the prefix they name:
# staged under DESTDIR, the prefix stays /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

# Packages, made with CPack from what install.cmake installs: a Debian package and a tarball on
# Linux, a zip archive for Windows. Programs are stripped. With SOURCE_DATE_EPOCH set, a package
# depends only on the sources: see the two scripts CPack runs before and after making one.

set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR "${TARVEL_AUTHORS}")
set(CPACK_PACKAGE_CONTACT "${TARVEL_CONTACT}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tarvel.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compare two snapshot images of a Windows computer")
# In lines short enough for a Debian control file.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tarvel compares two snapshot images of the same Windows computer, written at"
  "two moments by a separate inspection tool, and prints what changed between"
  "them: autorun entries, installed applications, hosts-file lines, files whose"
  "SHA-1 value changed or is missing, and entries whose status flags changed.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
# What the script run before packaging needs to strip the programs as Debian does.
set(CPACK_TARVEL_STRIP "${CMAKE_STRIP}")
set(CPACK_TARVEL_PROGRAMS ${TARVEL_PROGRAMS})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_staged_files.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_archives.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
else()
  set(CPACK_GENERATOR DEB TGZ)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)

  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARVEL_DEBIAN_REVISION})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})

include(CPack)

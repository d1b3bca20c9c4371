# Packages by CPack from what `cmake --install` puts in place: on Linux a Debian package
# (qzvupdate_VERSION-1_ARCH.deb), on Windows a zip per architecture. scripts/package builds them, and
# the MSI from the Windows x86-64 zip's contents.
set(CPACK_PACKAGE_NAME qzvupdate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QZV-57 Updater Project")
set(CPACK_PACKAGE_CONTACT "QZV-57 Updater Project <maintainers@qzv57.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for QZV-57 PC Card reader/writer units")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qzvupdate-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/qzvupdate.wxs.in ${CMAKE_BINARY_DIR}/packaging/qzvupdate.wxs @ONLY)
  endif()
else()
  set(QZV_DEBIAN_RELEASE 1)
  # The changelog's newest entry must name the version being packaged.
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog newest LIMIT_COUNT 1)
  if(NOT newest MATCHES "^qzvupdate \\(${PROJECT_VERSION}-${QZV_DEBIAN_RELEASE}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog: the newest entry is not for "
                        "${PROJECT_VERSION}-${QZV_DEBIAN_RELEASE}: ${newest}")
  endif()
  set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian)
  add_custom_command(OUTPUT ${changelog}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${changelog}
                     COMMAND gzip -9nf ${changelog}
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog VERBATIM)
  add_custom_target(debian-changelog ALL DEPENDS ${changelog}.gz)
  install(FILES packaging/debian/copyright ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${QZV_DEBIAN_RELEASE})
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION [[qzvupdate finds the one attached QZV-57G or QZV-57H unit through the SCSI
generic driver, checks that a firmware image fits the unit's firmware
revision, downloads it with SCSI WRITE BUFFER and waits until the unit
restarts; it also converts Motorola S-record files into binary images.
Its messages are in Japanese.

The package also holds qzvctl, a command-line tool for technicians that
lists the attached units and runs single unit commands, and
qzvupdate-demo, which shows a whole update on an emulated machine with a
simulated unit, with sample images to try it on.]])
endif()

include(CPack)

# What `cmake --install` puts where: the GNU layout on Linux (bin/, share/man/, share/doc/qzvupdate/,
# share/bash-completion/), one flat folder on Windows (programs, README and examples/ side by side, as
# in the zip and under Program Files). Programs join through qzv_install_program.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/man_pages.cmake)

if(WIN32)
  set(QZV_INSTALL_BINDIR .)
  set(QZV_INSTALL_DOCDIR .)
else()
  set(QZV_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(QZV_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()
# Folders as packages want them, whatever the umask of the machine that builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Linux release programs carry the C++ runtime inside, so that they need nothing beyond the C library
# (sanitizer builds cannot), and are hardened as Debian builds its own packages.
if(NOT WIN32 AND CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  add_link_options(-static-libstdc++ -static-libgcc -Wl,-z,relro,-z,now)
  add_compile_definitions(_FORTIFY_SOURCE=2)
endif()

# qzv_install_program(TARGET [MAN "what it is"] [MAN_JA "what it is, in Japanese"])
# Installs a program and gives it the project's version (qzv_version.h). With MAN it gets a manual
# page made from its --help and --version (Linux); with MAN_JA a Japanese one as well, from what its
# --help prints under a Japanese locale.
function(qzv_install_program target)
  cmake_parse_arguments(P "" "MAN;MAN_JA" "" ${ARGN})
  target_link_libraries(${target} PRIVATE qzv_version)
  install(TARGETS ${target} RUNTIME DESTINATION ${QZV_INSTALL_BINDIR})
  if(P_MAN)
    qzv_man_page(${target} "${P_MAN}" "")
  endif()
  if(P_MAN_JA)
    qzv_man_page(${target} "${P_MAN_JA}" ja)
  endif()
endfunction()

install(FILES README.md DESTINATION ${QZV_INSTALL_DOCDIR})
# The samples as the tree holds them (not what a conversion may have written beside them).
install(FILES examples/sample-new.mot examples/sample-old.mot examples/sample-old.bin
        DESTINATION ${QZV_INSTALL_DOCDIR}/examples)
if(NOT WIN32)
  install(FILES packaging/bash-completion/qzvctl
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

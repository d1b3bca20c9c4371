# Manual pages made by help2man from what a program prints for --help and --version, so that a page
# follows the program's own text. Linux builds only (the programs must run where they are built).
# qzv_install_program calls qzv_man_page; the pages are built with the program and installed
# compressed into section 1 (share/man/man1, or share/man/LANGUAGE/man1).
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_program(QZV_HELP2MAN help2man)
  find_program(QZV_GZIP gzip)
  if(NOT QZV_HELP2MAN)
    message(WARNING "help2man not found: no manual pages (scripts/install-deps installs it)")
  endif()
endif()

# A language's page is made under a locale of that language: help2man then takes its own headings
# in that language and reads the program's UTF-8 text. The locale is compiled into the build folder,
# since a machine seldom has it installed.
set(QZV_MAN_LOCALE_ja ja_JP)
set(QZV_MAN_NAME_HEADING_ja 名前)
set(QZV_MAN_LOCALES ${CMAKE_BINARY_DIR}/man/locales)

function(qzv_man_page target description language)
  if(WIN32 OR CMAKE_CROSSCOMPILING OR NOT QZV_HELP2MAN)
    return()
  endif()
  set(folder ${CMAKE_BINARY_DIR}/man/${language})
  set(page ${folder}/${target}.1)
  set(environment)
  set(destination ${CMAKE_INSTALL_MANDIR}/man1)
  set(locale_options)
  if(language)
    set(locale ${QZV_MAN_LOCALE_${language}}.UTF-8)
    if(NOT TARGET man-locale-${language})
      set(locale_files ${QZV_MAN_LOCALES}/${locale}/LC_CTYPE)
      add_custom_command(
        OUTPUT ${locale_files}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QZV_MAN_LOCALES}
        COMMAND localedef -i ${QZV_MAN_LOCALE_${language}} -f UTF-8 ${QZV_MAN_LOCALES}/${locale}
        COMMENT "Locale ${locale} for manual pages" VERBATIM)
      add_custom_target(man-locale-${language} DEPENDS ${locale_files})
    endif()
    set(environment ${CMAKE_COMMAND} -E env LOCPATH=${QZV_MAN_LOCALES})
    set(locale_options --locale=${locale})
    set(destination ${CMAKE_INSTALL_MANDIR}/${language}/man1)
  endif()
  # The name line comes through an include file, which help2man reads as UTF-8 (an argument it
  # would take for Latin-1); its section is named in the page's language. Written only when it
  # changes, so that a new configure does not remake the pages.
  set(include ${folder}/${target}.h2m)
  set(heading NAME)
  if(language)
    set(heading ${QZV_MAN_NAME_HEADING_${language}})
  endif()
  file(CONFIGURE OUTPUT ${include} CONTENT "[${heading}]\n${target} \\- ${description}\n" @ONLY)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${environment} ${QZV_HELP2MAN} --no-info --section=1 ${locale_options} --include=${include}
            --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${QZV_GZIP} -9nf ${page}
    DEPENDS ${target} ${include}
    COMMENT "Manual page ${language} ${target}(1)"
    VERBATIM)
  if(language)
    add_custom_target(${target}-man-${language} ALL DEPENDS ${page}.gz)
    add_dependencies(${target}-man-${language} man-locale-${language})
  else()
    add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  endif()
  install(FILES ${page}.gz DESTINATION ${destination})
endfunction()

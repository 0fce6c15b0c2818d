# Documents made at build time from their sources: manual pages compressed as Debian has them,
# or rendered as web pages for Windows, and a Debian package's changelog. Every one depends only
# on its source (and on SOURCE_DATE_EPOCH where that is set), so a package stays reproducible.

set(TARVEL_DOCUMENTS_DIR ${PROJECT_BINARY_DIR}/documents)
set(TARVEL_WRITE_OUTPUT ${PROJECT_SOURCE_DIR}/cmake/write_output.cmake)

# Makes OUTPUT from the standard output of a command, as part of the build.
function(tarvel_document output depends)
  list(JOIN ARGN "|" command)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} "-DCOMMAND=${command}" "-DOUTPUT=${output}" -P ${TARVEL_WRITE_OUTPUT}
    DEPENDS ${depends} ${TARVEL_WRITE_OUTPUT} VERBATIM)
endfunction()

# The manual pages, each compressed with gzip -9n (no name, no time), where gzip is found.
function(tarvel_compress_manual_pages)
  find_program(TARVEL_GZIP gzip)
  set(pages)
  foreach(program IN LISTS TARVEL_PROGRAMS)
    set(source ${PROJECT_SOURCE_DIR}/man/${program}.1)
    if(TARVEL_GZIP)
      set(page ${TARVEL_DOCUMENTS_DIR}/${program}.1.gz)
      tarvel_document(${page} ${source} ${TARVEL_GZIP} -9n -c ${source})
    else()
      set(page ${source})
    endif()
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(tarvel_manual_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# The manual pages as web pages, where mandoc is found.
function(tarvel_render_manual_pages)
  find_program(TARVEL_MANDOC mandoc)
  if(NOT TARVEL_MANDOC)
    message(STATUS "The manual pages are left out of the Windows package: mandoc was not found "
      "(Debian and Ubuntu: apt-get install mandoc)")
    return()
  endif()
  set(pages)
  foreach(program IN LISTS TARVEL_PROGRAMS)
    set(source ${PROJECT_SOURCE_DIR}/man/${program}.1)
    set(page ${TARVEL_DOCUMENTS_DIR}/${program}.html)
    tarvel_document(${page} ${source} ${TARVEL_MANDOC} -T html ${source})
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(tarvel_manual_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION manual)
endfunction()

# changelog.Debian.gz: one entry for this version, dated SOURCE_DATE_EPOCH where that is set.
function(tarvel_debian_changelog)
  find_program(TARVEL_GZIP gzip REQUIRED)
  string(TIMESTAMP TARVEL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(TARVEL_DEBIAN_VERSION ${PROJECT_VERSION}-${TARVEL_DEBIAN_REVISION})
  set(text ${TARVEL_DOCUMENTS_DIR}/changelog.Debian)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${text} @ONLY)
  tarvel_document(${text}.gz ${text} ${TARVEL_GZIP} -9n -c ${text})
  add_custom_target(tarvel_debian_changelog ALL DEPENDS ${text}.gz)
  install(FILES ${text}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endfunction()

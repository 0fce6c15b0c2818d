# What an install puts where: the programs, their manual pages, the completion for bash, the JSON
# Schemas of the companions' records, and the documents with the sample pair. Windows programs
# also get their version resource here.

set(TARVEL_AUTHORS "The Tarvel Authors")
set(TARVEL_COPYRIGHT "2025-2026 ${TARVEL_AUTHORS}")
set(TARVEL_CONTACT "${TARVEL_AUTHORS} <authors@tarvel.example>")
# The Debian package's own revision of this version: its changelog and its version say it.
set(TARVEL_DEBIAN_REVISION 1)

# Every program a release ships, with the description Windows shows for it. A program is built
# and installed where src/ defines its target; its manual page is installed in any case.
set(TARVEL_PROGRAMS tarvel tarvel-diff tarvel-dump)
set(TARVEL_DESCRIPTION_tarvel "Tarvel snapshot comparison")
set(TARVEL_DESCRIPTION_tarvel-diff "Tarvel snapshot comparison for scripts")
set(TARVEL_DESCRIPTION_tarvel-dump "Tarvel snapshot image contents")

include(cmake/documents.cmake)

if(WIN32)
  enable_language(RC)
  # On Windows everything goes in one folder: the programs beside the README, the licence, the
  # manual pages as web pages and the sample pair, under names Windows opens by themselves.
  set(TARVEL_PROGRAM_DESTINATION .)
  set(TARVEL_DOC_DESTINATION .)
  set(TARVEL_SCHEMA_DESTINATION schema)
  install(FILES README.md DESTINATION . RENAME README.txt)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  tarvel_render_manual_pages()
else()
  include(GNUInstallDirs)
  set(TARVEL_PROGRAM_DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(TARVEL_DOC_DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(TARVEL_SCHEMA_DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvel/schema)
  tarvel_compress_manual_pages()
  # Where bash-completion looks for a command's completion, under the command's name.
  foreach(program IN ITEMS tarvel-diff tarvel-dump)
    install(FILES completions/tarvel.bash
      DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
  endforeach()
  install(FILES README.md DESTINATION ${TARVEL_DOC_DESTINATION})
  if(TARVEL_DEBIAN_PACKAGE)
    # A Debian package states its licence in copyright, and has a changelog.
    install(FILES cmake/debian/copyright DESTINATION ${TARVEL_DOC_DESTINATION})
    # What lintian is told to accept, each with its reason.
    install(FILES cmake/debian/lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tarvel)
    tarvel_debian_changelog()
  else()
    install(FILES LICENSE DESTINATION ${TARVEL_DOC_DESTINATION})
  endif()
endif()
install(FILES samples/old.img samples/new.img samples/report.txt
  DESTINATION ${TARVEL_DOC_DESTINATION}/samples)
file(GLOB TARVEL_SCHEMAS CONFIGURE_DEPENDS schema/*.schema.json)
install(FILES ${TARVEL_SCHEMAS} DESTINATION ${TARVEL_SCHEMA_DESTINATION})

# The numeric version of a resource has four parts; "1.05" becomes 1,5,0,0.
set(TARVEL_RC_VERSION_NUMBERS)
foreach(part IN ITEMS MAJOR MINOR PATCH TWEAK)
  set(number "${PROJECT_VERSION_${part}}")
  if(number STREQUAL "")
    set(number 0)
  endif()
  math(EXPR number "${number}")
  list(APPEND TARVEL_RC_VERSION_NUMBERS ${number})
endforeach()
list(JOIN TARVEL_RC_VERSION_NUMBERS "," TARVEL_RC_VERSION_NUMBERS)

foreach(program IN LISTS TARVEL_PROGRAMS)
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${TARVEL_PROGRAM_DESTINATION})
  if(WIN32)
    set(TARVEL_RC_PROGRAM ${program})
    set(TARVEL_RC_DESCRIPTION "${TARVEL_DESCRIPTION_${program}}")
    set(rc ${PROJECT_BINARY_DIR}/version/${program}.rc)
    configure_file(cmake/version.rc.in ${rc} @ONLY)
    target_sources(${program} PRIVATE ${rc})
  endif()
endforeach()

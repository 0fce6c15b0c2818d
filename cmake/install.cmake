# What an install puts where: the programs, their manual pages, and the documents with the sample
# pair. Windows programs also get their version resource here.

set(TARVEL_AUTHORS "The Tarvel Authors")
set(TARVEL_COPYRIGHT "2025-2026 ${TARVEL_AUTHORS}")

# Every program a release ships, with the description Windows shows for it. A program is built
# and installed where src/ defines its target; its manual page is installed in any case.
set(TARVEL_PROGRAMS tarvel tarvel-diff tarvel-dump)
set(TARVEL_DESCRIPTION_tarvel "Tarvel snapshot comparison")
set(TARVEL_DESCRIPTION_tarvel-diff "Tarvel snapshot comparison for scripts")
set(TARVEL_DESCRIPTION_tarvel-dump "Tarvel snapshot image contents")

if(WIN32)
  enable_language(RC)
  # On Windows everything goes in one folder: the programs beside the README and the licence.
  set(TARVEL_PROGRAM_DESTINATION .)
  set(TARVEL_DOC_DESTINATION .)
else()
  include(GNUInstallDirs)
  set(TARVEL_PROGRAM_DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(TARVEL_DOC_DESTINATION ${CMAKE_INSTALL_DOCDIR})
  foreach(program IN LISTS TARVEL_PROGRAMS)
    install(FILES man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  install(FILES samples/old.img samples/new.img samples/report.txt
    DESTINATION ${TARVEL_DOC_DESTINATION}/samples)
endif()
install(FILES README.md LICENSE DESTINATION ${TARVEL_DOC_DESTINATION})

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

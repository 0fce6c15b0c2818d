# What an install puts where: the programs, their manual pages, and the documents with the sample
# pair.

# Every program a release ships. A program is installed where src/ defines its target; its
# manual page is installed in any case.
set(TARVEL_PROGRAMS tarvel tarvel-diff tarvel-dump)

if(WIN32)
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

foreach(program IN LISTS TARVEL_PROGRAMS)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${TARVEL_PROGRAM_DESTINATION})
  endif()
endforeach()

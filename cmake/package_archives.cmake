# Run by CPack after it has made each package (CPACK_POST_BUILD_SCRIPTS in packaging.cmake).
#
# With SOURCE_DATE_EPOCH set, CPack already writes that time into every archive entry, and its
# Debian generator sorts the entries and makes root their owner. Its zip and tar.gz archives still
# depend on the packaging machine: entries come in the order the file system lists them, owned by
# whoever packaged them. So those two are made again here from the same staged files: entries in
# the byte order of their names, owned by root, every time SOURCE_DATE_EPOCH, no timestamp in the
# compression header. Needs GNU tar, gzip, touch and Info-ZIP's zip.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  return()
endif()
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
set(top "${CPACK_TOPLEVEL_DIRECTORY}")
cmake_path(GET CPACK_TEMPORARY_DIRECTORY FILENAME staged)

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${top}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Making the package again failed (${status}): ${ARGN}")
  endif()
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.tar\\.gz$")
    file(REMOVE "${package}")
    run(tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner
          "--mtime=@${epoch}" "${staged}"
        COMMAND gzip -9 --no-name --stdout
        OUTPUT_FILE "${package}")
  elseif(package MATCHES "\\.zip$")
    file(REMOVE "${package}")
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${top}"
      "${CPACK_TEMPORARY_DIRECTORY}/*")
    list(SORT files)
    list(JOIN files "\n" names)
    file(WRITE "${top}/zip-names.txt" "${names}\n")
    run(touch --no-dereference "--date=@${epoch}" ${files})
    # A zip entry holds its time as local time; -X leaves out owner and other times.
    run(env TZ=UTC0 zip --quiet -9 -X -D "${package}" -@ INPUT_FILE "${top}/zip-names.txt")
  endif()
endforeach()

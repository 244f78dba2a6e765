# Run by CPack on the staged files, before the package is made: strips the
# executable and the libraries as Debian's dh_strip does, so the package
# holds no symbol tables and no debug information, and no .comment or .note
# sections either (compiler notes nobody reads at run time). The program's
# file version lives in an allocated section of its own,
# .nomvera.fileversion, which stripping keeps.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  set(options --remove-section=.comment --remove-section=.note)
  if(file MATCHES "\\.so$")
    list(APPEND options --strip-unneeded)
  endif()
  execute_process(COMMAND "${CPACK_NOMVERA_STRIP}" ${options} "${file}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot strip ${file}")
  endif()
endforeach()

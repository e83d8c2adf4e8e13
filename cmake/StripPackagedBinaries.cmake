# Run by CPack after it installed the package's files into its staging
# directory: strips every ELF file as Debian's dh_strip strips a program, all
# symbols and debugging information plus the compiler's .comment and .note
# sections, which nothing at run time reads.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(path IN LISTS staged)
  if(IS_SYMLINK "${path}")
    continue()
  endif()
  file(READ "${path}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  execute_process(COMMAND "${CPACK_OSTREL_STRIP}" --remove-section=.comment --remove-section=.note "${path}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not strip ${path}")
  endif()
endforeach()

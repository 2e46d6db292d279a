# Run by CPack on the staged tree before it is packed: manual pages and the
# change log are kept compressed with gzip -9n, as Debian expects.
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.1")
file(GLOB_RECURSE changelogs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/changelog")
list(FILTER changelogs INCLUDE REGEX "/doc/tarn-hosting/changelog$")
set(documents ${pages} ${changelogs})
if(documents)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  execute_process(COMMAND ${GZIP_PROGRAM} -9nf ${documents} COMMAND_ERROR_IS_FATAL ANY)
endif()

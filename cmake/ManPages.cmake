# Manual pages: docs/man/NAME.SECTION.scd (scdoc) becomes NAME.SECTION at build time, and
# NAME.SECTION.gz for installing. The test manpage_NAME reads the page with man's warnings on.
find_program(SCDOC_PROGRAM scdoc REQUIRED)
find_program(GZIP_PROGRAM gzip REQUIRED)
find_program(MAN_PROGRAM man)

add_custom_target(tarnivel_man_pages ALL)

# tarnivel_man_page(NAME SECTION COMPONENT)
function(tarnivel_man_page name section component)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${name}.${section}.scd)
  set(page ${CMAKE_BINARY_DIR}/man/${name}.${section})
  add_custom_command(OUTPUT ${page} ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    # The date in the page's footer is the release date, so a rebuild gives the same bytes.
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TARNIVEL_RELEASE_EPOCH}
            sh -c "\"$1\" < \"$2\" > \"$3\"" scdoc ${SCDOC_PROGRAM} ${source} ${page}
    COMMAND sh -c "\"$1\" -9 -n -c \"$2\" > \"$2.gz\"" gzip ${GZIP_PROGRAM} ${page}
    DEPENDS ${source}
    COMMENT "Manual page ${name}(${section})"
    VERBATIM)
  add_custom_target(tarnivel_man_${name} DEPENDS ${page} ${page}.gz)
  add_dependencies(tarnivel_man_pages tarnivel_man_${name})
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  if(BUILD_TESTING AND MAN_PROGRAM)
    add_test(NAME manpage_${name}
      COMMAND sh ${PROJECT_SOURCE_DIR}/packaging/check-man-page.sh ${MAN_PROGRAM} ${page})
  endif()
endfunction()

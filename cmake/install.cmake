# Installing: the program, its manual page and its licence under the usual
# GNU directories, so that --prefix and DESTDIR are honoured, and a Debian
# package of them through CPack (cpack -G DEB in the build directory). The
# Windows download is made by scripts/package-windows.

include(GNUInstallDirs)

install(TARGETS dupsieve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(NOT WIN32)
  set(dupsieve_manual ${PROJECT_SOURCE_DIR}/doc/dupsieve.1)
  find_program(DUPSIEVE_GZIP gzip)
  if(DUPSIEVE_GZIP)
    # Manual pages are installed compressed; -n keeps the file name and time
    # out of the archive, so the same page always gives the same bytes.
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/dupsieve.1.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${dupsieve_manual} dupsieve.1
      COMMAND ${DUPSIEVE_GZIP} -9 -n -f dupsieve.1
      DEPENDS ${dupsieve_manual}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      VERBATIM)
    add_custom_target(dupsieve_manual ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/dupsieve.1.gz)
    # Built with the program, so that building the program alone (as
    # scripts/dupsieve does) leaves everything that installing takes.
    add_dependencies(dupsieve dupsieve_manual)
    set(dupsieve_manual ${CMAKE_CURRENT_BINARY_DIR}/dupsieve.1.gz)
  endif()
  install(FILES ${dupsieve_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Under the name and in the place where Debian looks for a package's licence.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
    RENAME copyright)
endif()

set(CPACK_PACKAGE_NAME dupsieve)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "dupsieve maintainers <maintainers@dupsieve.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "find files that may be copies of one another and offer to delete them")
set(CPACK_STRIP_FILES ON)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # CPack puts the summary line before it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"dupsieve walks the directories it is given, keeps the files whose size
another file shares, groups those that agree in size and in a digest of
their first bytes, lists each group and asks, file by file, whether to
delete it. It deletes nothing without an answer of y.")
  # The package depends on exactly the shared libraries the program links,
  # as dpkg-shlibdeps finds them, rather than on a list kept by hand.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)

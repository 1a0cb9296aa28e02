# What the tool ships as: a Debian package of the Linux program, and a zip of the Windows
# programs (the 32-bit one every claimed Windows runs at the top, the 64-bit one in x64\).
# The version is the project's own, set once in project().
set(CPACK_PACKAGE_NAME slotpush)
set(CPACK_PACKAGE_VENDOR "The slotpush developers")
set(CPACK_PACKAGE_CONTACT "The slotpush developers <slotpush@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "copy TI-99/4A disk images into volume slots of a CompactFlash card")

if(NOT WIN32)
  # The manual page and the changelog, gzipped as Debian wants them (-9n: no name, no time).
  function(slotpush_gzipped source name)
    configure_file(${source} ${CMAKE_BINARY_DIR}/doc/${name} @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/doc/${name} ${CMAKE_BINARY_DIR}/${name}
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/${name}
      DEPENDS ${CMAKE_BINARY_DIR}/doc/${name} VERBATIM)
    add_custom_target(${name}_gz ALL DEPENDS ${CMAKE_BINARY_DIR}/${name}.gz)
  endfunction()
  slotpush_gzipped(${PROJECT_SOURCE_DIR}/doc/slotpush.1.in slotpush.1)
  slotpush_gzipped(${PROJECT_SOURCE_DIR}/doc/changelog.in changelog)
  install(FILES ${CMAKE_BINARY_DIR}/slotpush.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz doc/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Debian wants no statically linked program in a package (the package preset links
  # dynamically); a dynamic one depends on the libraries it links against.
  if(NOT SLOTPUSH_STATIC)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  file(READ ${PROJECT_SOURCE_DIR}/doc/package_description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  configure_file(doc/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  option(SLOTPUSH_WINDOWS_ZIP "Build the 64-bit program too, for the Windows zip" OFF)
  if(SLOTPUSH_WINDOWS_ZIP)
    include(ExternalProject)
    ExternalProject_Add(slotpush_x64
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/x64
      CMAKE_ARGS -G Ninja -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
                 -DSLOTPUSH_WINDOWS_ARCH=x86_64 -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
                 -DSLOTPUSH_BUILD_TESTS=OFF -DSLOTPUSH_WARNINGS_AS_ERRORS=${SLOTPUSH_WARNINGS_AS_ERRORS}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/x64/slotpush.exe DESTINATION x64)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME slotpush-${PROJECT_VERSION}-windows)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_STRIP_FILES OFF)
endif()
include(CPack)

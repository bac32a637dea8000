# Install rules and the packages CPack makes of them: a .tar.gz and a .deb,
# or in a Windows build a .zip.
#
# The .deb is laid out the way Debian wants a binary package: a stripped
# executable, the manual page and the changelog compressed with gzip -9n, and
# /usr/share/doc/dravont/copyright in the machine-readable format. Its version
# is the project version, which is also what --version prints.
#
# The Maintainer field comes from DRAVONT_MAINTAINER; whoever publishes the
# package sets it at configure time:
#   cmake -S . -B build -DDRAVONT_MAINTAINER="Name <address>"
#
# The .zip (packaging/windows.cmake) is a folder to unpack anywhere:
# dravont.exe, README.txt, LICENSE.txt and the manual page as text.
include(GNUInstallDirs)

set(DRAVONT_MAINTAINER "dravont maintainers <maintainers@dravont.invalid>" CACHE STRING
    "Maintainer field of the .deb, as NAME <ADDRESS>")

# The package's changelog must describe the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^dravont \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${changelog_head}': "
                      "add an entry for version ${PROJECT_VERSION}")
endif()

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
else()
  # -n keeps the file name and time stamp out of the gzip header, so the same
  # input always gives the same bytes.
  find_program(DRAVONT_GZIP gzip)
  if(NOT DRAVONT_GZIP)
    message(FATAL_ERROR "gzip not found: it compresses the manual page and the changelog")
  endif()
  set(doc_build_dir ${PROJECT_BINARY_DIR}/doc)
  function(dravont_gzip source name)
    add_custom_command(OUTPUT ${doc_build_dir}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${doc_build_dir}/${name}
      COMMAND ${DRAVONT_GZIP} -9nf ${doc_build_dir}/${name}
      DEPENDS ${source}
      VERBATIM)
  endfunction()
  dravont_gzip(${PROJECT_SOURCE_DIR}/man/dravont.1 dravont.1)
  dravont_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog changelog)
  add_custom_target(dravont_docs ALL
    DEPENDS ${doc_build_dir}/dravont.1.gz ${doc_build_dir}/changelog.gz)

  install(TARGETS dravont RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${doc_build_dir}/dravont.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${doc_build_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(DRAVONT_LINK_STATIC AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME dravont)
  endif()
endif()

set(CPACK_PACKAGE_NAME dravont)
set(CPACK_PACKAGE_VENDOR "dravont developers")
set(CPACK_PACKAGE_CONTACT "${DRAVONT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "debugger symbol and line files from H8 and SH executables")
set(CPACK_PACKAGE_DESCRIPTION
"dravont reads an executable linked by the GNU toolchain for H8/300, H8/300H,
H8S or SH microcontrollers and writes the two plain-text files a target
debugger loads: a symbol file with the value, name and size class of every
typed external and static symbol, and a line file with the address of every
source line of every function.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR "TGZ;DEB")
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DRAVONT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A dynamically linked executable needs its libraries as dependencies, which
# CPack finds with dpkg-shlibdeps and file; without them it makes no .deb
# rather than one that lacks its dependencies.
if(NOT DRAVONT_LINK_STATIC AND NOT WIN32)
  find_program(DRAVONT_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(DRAVONT_FILE file)
  if(DRAVONT_DPKG_SHLIBDEPS AND DRAVONT_FILE)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    message(STATUS "dpkg-shlibdeps or file not found (Debian: dpkg-dev file): "
                   "cpack makes no .deb of this dynamically linked build")
    set(CPACK_GENERATOR TGZ)
  endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake.in ${CMAKE_BINARY_DIR}/cpack_project.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack_project.cmake)
include(CPack)

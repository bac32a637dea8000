# Compressed debug sections: zlib always (Debian: zlib1g-dev; Windows:
# libz-mingw-w64-dev), zstd where libzstd is found (Debian: libzstd-dev).
# A build without zstd refuses zstd-compressed sections with a message
# saying so. Makes the interface library dravont_compression, which carries
# the libraries and, with zstd, the definition DRAVONT_HAVE_ZSTD.
option(DRAVONT_ZSTD "Read zstd-compressed debug sections where libzstd is found" ON)

# The libraries found are cached; look again when the kind of link changed.
if(NOT "${DRAVONT_LINK_STATIC}" STREQUAL "${DRAVONT_COMPRESSION_STATIC_SEARCH}")
  unset(ZLIB_LIBRARY CACHE)
  unset(ZLIB_LIBRARY_RELEASE CACHE)
  unset(ZLIB_LIBRARY_DEBUG CACHE)
  unset(DRAVONT_ZSTD_LIBRARY CACHE)
endif()
set(DRAVONT_COMPRESSION_STATIC_SEARCH "${DRAVONT_LINK_STATIC}" CACHE INTERNAL "")

set(_dravont_suffixes ${CMAKE_FIND_LIBRARY_SUFFIXES})
if(DRAVONT_LINK_STATIC)
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()

find_package(ZLIB)
if(NOT ZLIB_FOUND)
  message(FATAL_ERROR "zlib not found: install its development files "
                      "(Debian: zlib1g-dev; for the Windows build: libz-mingw-w64-dev)")
endif()

# find_path and find_library rather than pkg-config: they follow the
# toolchain file's search roots, so a cross build never picks up the host's
# libzstd.
set(DRAVONT_HAVE_ZSTD OFF)
if(DRAVONT_ZSTD)
  find_path(DRAVONT_ZSTD_INCLUDE_DIR zstd.h)
  find_library(DRAVONT_ZSTD_LIBRARY zstd)
  if(DRAVONT_ZSTD_INCLUDE_DIR AND DRAVONT_ZSTD_LIBRARY)
    set(DRAVONT_HAVE_ZSTD ON)
  endif()
endif()
set(CMAKE_FIND_LIBRARY_SUFFIXES ${_dravont_suffixes})

add_library(dravont_compression INTERFACE)
target_link_libraries(dravont_compression INTERFACE ZLIB::ZLIB)
if(DRAVONT_HAVE_ZSTD)
  target_include_directories(dravont_compression INTERFACE ${DRAVONT_ZSTD_INCLUDE_DIR})
  target_link_libraries(dravont_compression INTERFACE ${DRAVONT_ZSTD_LIBRARY})
  target_compile_definitions(dravont_compression INTERFACE DRAVONT_HAVE_ZSTD)
  message(STATUS "Compressed debug sections: zlib (${ZLIB_LIBRARIES}) and zstd (${DRAVONT_ZSTD_LIBRARY})")
elseif(NOT DRAVONT_ZSTD)
  message(STATUS "Compressed debug sections: zlib (${ZLIB_LIBRARIES}); zstd left out (DRAVONT_ZSTD=OFF), "
                 "zstd-compressed sections are refused")
else()
  if(MINGW AND CMAKE_CROSSCOMPILING)
    # Debian packages no libzstd for mingw-w64: there is nothing to install.
    set(zstd_hint "no libzstd for mingw-w64 found (Debian ships none)")
  elseif(MINGW)
    set(zstd_hint "libzstd not found (MSYS2: mingw-w64-x86_64-zstd)")
  else()
    set(zstd_hint "libzstd not found (Debian: libzstd-dev)")
  endif()
  message(STATUS "Compressed debug sections: zlib (${ZLIB_LIBRARIES}); ${zstd_hint}, "
                 "zstd-compressed sections are refused")
endif()

# Installs the build tree into a fresh prefix and checks what a host finds
# there: libraries with their version links and SONAME, header, the tool
# with its man page, completion and plotting script, and the pkg-config and
# CMake package files.
include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

unset(ENV{DESTDIR})  # everything goes under the scratch prefix
file(REMOVE_RECURSE ${PREFIX})
run_checked(out ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --config ${CONFIG})

# Nothing lands outside the prefix: an absolute destination would write into
# the system (the GStreamer plugin once did) and outlive the test.
file(STRINGS ${BUILD_DIR}/install_manifest.txt installed)
foreach(file IN LISTS installed)
  string(FIND "${file}" "${PREFIX}/" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "installed outside the prefix: ${file}")
  endif()
endforeach()

set(lib ${PREFIX}/${LIBDIR})
string(REGEX MATCH "^[0-9]+" major ${VERSION})
set(expected
  ${PREFIX}/${INCLUDEDIR}/dremko.h
  ${lib}/libdremko.a ${lib}/libdremko.so ${lib}/libdremko.so.${major} ${lib}/libdremko.so.${VERSION}
  ${lib}/pkgconfig/dremko.pc
  ${lib}/cmake/DremkoCodec/DremkoCodecConfig.cmake
  ${lib}/cmake/DremkoCodec/DremkoCodecConfigVersion.cmake
  ${lib}/cmake/DremkoCodec/DremkoCodecTargets.cmake)
foreach(file IN LISTS expected)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# libdremko.so -> libdremko.so.1 -> libdremko.so.1.x.y, and the SONAME that
# programs record is the major-version name.
file(READ_SYMLINK ${lib}/libdremko.so dev_link)
file(READ_SYMLINK ${lib}/libdremko.so.${major} soname_link)
if(NOT dev_link STREQUAL "libdremko.so.${major}" OR NOT soname_link STREQUAL "libdremko.so.${VERSION}")
  message(FATAL_ERROR "version links: libdremko.so -> ${dev_link}, libdremko.so.${major} -> ${soname_link}")
endif()
run_checked(headers ${OBJDUMP} -p ${lib}/libdremko.so.${VERSION})
if(NOT headers MATCHES "SONAME +libdremko\\.so\\.${major}\n")
  message(FATAL_ERROR "the shared library's SONAME is not libdremko.so.${major}")
endif()

# The installed tool runs from the prefix on the installed library.
if(TOOL)
  foreach(file ${PREFIX}/${BINDIR}/dremko-plot-report ${PREFIX}/share/man/man1/dremko.1
               ${PREFIX}/share/bash-completion/completions/dremko)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "not installed: ${file}")
    endif()
  endforeach()
  run_checked(version ${PREFIX}/${BINDIR}/dremko --version)
  if(NOT version MATCHES "${VERSION}")
    message(FATAL_ERROR "dremko --version printed: ${version}")
  endif()
endif()

# Builds the C example against the installed copy with nothing but pkg-config
# and the C compiler, once on the shared and once on the static library, and
# runs both programs. The example needs nothing beyond the codec, so the link
# lines are exactly what dremko.pc declares.
include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

if(NOT PKG_CONFIG)
  message("SKIPPED: pkg-config is not installed")
  return()
endif()
set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

run_checked(version ${PKG_CONFIG} --modversion dremko)
string(STRIP "${version}" version)
if(NOT version STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config reports version ${version}, the project is ${VERSION}")
endif()
run_checked(libdir ${PKG_CONFIG} --variable=libdir dremko)
string(STRIP "${libdir}" libdir)
run_checked(cflags ${PKG_CONFIG} --cflags dremko)
run_checked(libs ${PKG_CONFIG} --libs dremko)
run_checked(static_libs ${PKG_CONFIG} --static --libs dremko)
separate_arguments(cflags UNIX_COMMAND "${cflags}")
separate_arguments(libs UNIX_COMMAND "${libs}")
# Static linking: the archive itself in place of -ldremko, plus what it needs.
string(REPLACE "-ldremko" "${libdir}/libdremko.a" static_libs "${static_libs}")
separate_arguments(static_libs UNIX_COMMAND "${static_libs}")

run_checked(out ${CC} ${HOST_FLAGS} ${SOURCE} -o ${WORK}/host_shared ${cflags} ${libs} -Wl,-rpath,${libdir})
run_checked(out ${CC} ${HOST_FLAGS} ${SOURCE} -o ${WORK}/host_static ${cflags} ${static_libs})
foreach(program host_shared host_static)
  run_checked(out ${WORK}/${program})
  message(STATUS "${out}")
endforeach()

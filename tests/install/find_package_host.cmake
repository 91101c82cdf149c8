# Configures examples/ as a project of its own against the installed copy
# (find_package(DremkoCodec)), builds it and runs both programs.
include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

file(REMOVE_RECURSE ${WORK})
run_checked(out ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_C_COMPILER=${CC} -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  "-DCMAKE_C_FLAGS=${HOST_FLAGS}")
run_checked(out ${CMAKE_COMMAND} --build ${WORK})
foreach(program dremko_host_example dremko_host_example_static)
  run_checked(out ${WORK}/${program})
  message(STATUS "${out}")
endforeach()

# The package must have come from the scratch prefix, not from elsewhere on the machine.
file(STRINGS ${WORK}/CMakeCache.txt package_dir REGEX "^DremkoCodec_DIR:")
string(FIND "${package_dir}" "=${PREFIX}/" at)
if(at EQUAL -1)
  message(FATAL_ERROR "DremkoCodec was not found in ${PREFIX}: ${package_dir}")
endif()

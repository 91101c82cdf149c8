# s390x, big-endian: see cross_linux_gnu.cmake.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(DREMKO_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross_linux_gnu.cmake)

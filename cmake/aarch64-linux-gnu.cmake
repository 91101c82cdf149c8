# AArch64 (arm64): see cross_linux_gnu.cmake.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(DREMKO_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross_linux_gnu.cmake)

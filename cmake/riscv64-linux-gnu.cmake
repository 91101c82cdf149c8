# RISC-V 64 (portable kernels): see cross_linux_gnu.cmake.
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(DREMKO_TRIPLE riscv64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross_linux_gnu.cmake)

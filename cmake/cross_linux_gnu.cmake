# Cross build for Debian's ${DREMKO_TRIPLE} cross compiler (g++-${DREMKO_TRIPLE}), whose
# programs and tests run under qemu-user. Libraries and packages come only
# from the target's multiarch directories, never the host's: where the
# target's libopus is missing the benchmark is not built, and GoogleTest is
# compiled from its source (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${DREMKO_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DREMKO_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${DREMKO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR} -L /usr/${DREMKO_TRIPLE})
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${DREMKO_TRIPLE}/pkgconfig)

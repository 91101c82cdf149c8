# Cross build for Debian's ${DREMKO_TRIPLE} cross compiler (g++-${DREMKO_TRIPLE}), whose
# programs and tests run under qemu-user. Libraries and packages come only
# from the cross compiler's tree and the target's multiarch directories
# (/usr/lib/${DREMKO_TRIPLE}, where Debian puts the target architecture's
# packages, such as libopus-dev:arm64), never the host's: where the
# target's libopus is missing the benchmark is not built, and GoogleTest is
# compiled from its source (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${DREMKO_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DREMKO_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${DREMKO_TRIPLE} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes come from the cross compiler's tree, whose loader
# they match: where the target architecture's own libc is installed as well
# (libopus-dev:arm64 brings libc6:arm64), the loader would otherwise take
# that one, another build than itself, and forked processes hang.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR} -L /usr/${DREMKO_TRIPLE}
    -E LD_LIBRARY_PATH=/usr/${DREMKO_TRIPLE}/lib)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${DREMKO_TRIPLE}/pkgconfig)

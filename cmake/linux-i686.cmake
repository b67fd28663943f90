# 32-bit Linux with the host's gcc (gcc-multilib, g++-multilib): the shipping updater's engine and
# codec compiled for a 32-bit target (4-byte size_t and pointers, a 4 GiB address space, 64-bit
# file offsets), its tests run under qemu-i386. The same system, so CMake does not count it as
# cross-compiling; the libraries come from Debian's sources as for MinGW (ORVAN_DEPS_FROM_SOURCE).
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_ASM_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)

# Cross build for the device: 32-bit big-endian PowerPC, Debian's powerpc-linux-gnu
# cross compiler, every program linked statically so that qemu-ppc runs it without
# a PowerPC library tree. CTest (and the tests that start programs themselves)
# run the programs through CMAKE_CROSSCOMPILING_EMULATOR.
#   cmake -S . -B build-ppc -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake \
#         -DINSTALLER_ZLIB_SOURCE_DIR=<zlib sources>
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/powerpc-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise hand out the build machine's libraries.
set(ENV{PKG_CONFIG_LIBDIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# A fixed processor model, so that the platform test knows what the device
# layer must read from the processor version register: a 7400 reads 0x000c0209.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -cpu 7400)
set(INSTALLER_EMULATED_PROCESSOR_VERSION 0x000c0209)

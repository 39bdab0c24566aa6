# SPDX-License-Identifier: Apache-2.0
# 32-bit x86 Linux with the host's compilers in -m32 mode (package
# g++-multilib). The machines that build it cannot execute 32-bit programs
# natively, so tests run through qemu's user-mode emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

find_program(INKDOT_QEMU_I386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${INKDOT_QEMU_I386}")

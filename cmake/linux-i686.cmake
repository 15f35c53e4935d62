# The Linux build for 32-bit x86 (ILP32) with the multilib compiler, run by qemu-i386 where the
# kernel runs no 32-bit programs. Libraries are taken from Debian's i386 architecture.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)

find_program(ZEM_QEMU_I386 qemu-i386)
if(ZEM_QEMU_I386)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEM_QEMU_I386})
endif()

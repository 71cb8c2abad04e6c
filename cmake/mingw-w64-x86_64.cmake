# Cross build for 64-bit Windows with Debian's MinGW-w64, Win32 thread model:
# the POSIX model's run-time, linked in statically, imports GetTickCount64 and
# so keeps the launchers from loading on 64-bit Windows XP and Server 2003.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-win32)
set(CMAKE_CXX_COMPILER ${triple}-g++-win32)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_OBJDUMP ${triple}-objdump)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-sysroot.cmake)

# The executables must run with nothing beside them: no libgcc or libstdc++
# DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

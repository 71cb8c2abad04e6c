# Cross build for 64-bit Windows with Debian's Clang and LLD, against the
# MinGW-w64 headers and libraries of the Win32-thread GCC packages (see mingw-w64-x86_64.cmake). A second
# compiler catches what the first lets through; the tests run with the GCC
# build only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(clang_target x86_64-w64-windows-gnu)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${clang_target})
set(CMAKE_CXX_COMPILER_TARGET ${clang_target})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_OBJDUMP ${triple}-objdump)

# Clang does not recognise Debian's "12-win32" GCC folder as a GCC version, so
# it finds neither libstdc++ nor libgcc by itself; ask that GCC where they
# are.
execute_process(COMMAND ${triple}-g++-win32 -print-file-name=libstdc++.a
                OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
cmake_path(GET libstdcxx PARENT_PATH gcc_dir)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${triple} -isystem ${gcc_dir}/include/c++/backward")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-sysroot.cmake)

# As with GCC, the executables run with nothing beside them.
set(link_flags "-fuse-ld=lld -L${gcc_dir} -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${link_flags}")

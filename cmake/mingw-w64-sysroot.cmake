# Where both cross toolchains find the target's headers and libraries: the
# MinGW-w64 tree and the static libcrypto that scripts/bootstrap builds.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(DEFINED ENV{OPENSSL_ROOT_DIR})
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{OPENSSL_ROOT_DIR})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

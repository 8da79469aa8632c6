# Shared part of the MinGW-w64 toolchain files; VARNEL_MINGW_TRIPLE names the
# target (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
if(VARNEL_MINGW_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

# The posix thread model gives the full C++ thread library; winpthread is
# linked statically below like the rest of the runtime.
find_program(CMAKE_C_COMPILER NAMES ${VARNEL_MINGW_TRIPLE}-gcc-posix ${VARNEL_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VARNEL_MINGW_TRIPLE}-g++-posix ${VARNEL_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VARNEL_MINGW_TRIPLE}-windres REQUIRED)
find_program(VARNEL_WIDL NAMES ${VARNEL_MINGW_TRIPLE}-widl widl)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything is linked statically (libgcc, libstdc++, winpthread, zlib), so the
# DLL and the programs need nothing beyond the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(ZLIB_INCLUDE_DIR /usr/${VARNEL_MINGW_TRIPLE}/include CACHE PATH "zlib headers for the target")
set(ZLIB_LIBRARY /usr/${VARNEL_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "static zlib for the target")

# CLI11 is header-only. Its host package points at /usr/include, which must not
# reach a cross compile; a config of our own exposes only the CLI11 headers.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-cli11 CACHE PATH "CLI11 package for the cross build")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-nlohmann_json CACHE PATH "nlohmann-json package for the cross build")

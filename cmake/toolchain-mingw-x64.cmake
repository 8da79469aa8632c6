# Cross build for 64-bit Windows with MinGW-w64 (Debian packages mingw-w64,
# mingw-w64-tools, libz-mingw-w64-dev). Programs run under Wine.
set(VARNEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

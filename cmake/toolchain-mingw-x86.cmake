# Cross build for 32-bit Windows with MinGW-w64: the component that 32-bit
# hosts (VB6, VBA in 32-bit Office, classic ASP) load. Programs run under Wine.
set(VARNEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# CLI11 for the MinGW cross build: the host's header-only CLI11.
set(_package CLI11)
set(_target CLI11::CLI11)
set(_folder CLI)
set(_debian libcli11-dev)
include(${CMAKE_CURRENT_LIST_DIR}/../mingw-header-package.cmake)

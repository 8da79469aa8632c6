# nlohmann-json for the MinGW cross build: the host's header-only library.
set(_package nlohmann_json)
set(_target nlohmann_json::nlohmann_json)
set(_folder nlohmann)
set(_debian nlohmann-json3-dev)
include(${CMAKE_CURRENT_LIST_DIR}/../mingw-header-package.cmake)

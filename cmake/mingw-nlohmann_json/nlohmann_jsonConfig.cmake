# nlohmann-json for the MinGW cross build: the host's header-only library
# (Debian nlohmann-json3-dev), copied so that only its own headers are on the
# include path.
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(VARNEL_NLOHMANN_HEADERS nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT VARNEL_NLOHMANN_HEADERS)
    set(nlohmann_json_FOUND FALSE)
    set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found in /usr/include (Debian nlohmann-json3-dev)")
    return()
  endif()
  set(_nlohmann_copy ${CMAKE_BINARY_DIR}/nlohmann-include)
  file(COPY ${VARNEL_NLOHMANN_HEADERS}/nlohmann DESTINATION ${_nlohmann_copy})
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_nlohmann_copy})
endif()
set(nlohmann_json_FOUND TRUE)

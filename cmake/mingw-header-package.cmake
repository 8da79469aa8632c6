# A header-only library of the host (a Debian package) as a package for the
# MinGW cross build: its folder under /usr/include is copied, so that only
# its own headers are on the include path (never the rest of /usr/include).
# The package config sets _package (the find_package name), _target (the
# imported target), _folder (under /usr/include), _debian (the package to
# install), then includes this file.
if(NOT TARGET ${_target})
  find_path(_headers_${_package} ${_folder} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT _headers_${_package})
    set(${_package}_FOUND FALSE)
    set(${_package}_NOT_FOUND_MESSAGE "${_folder} not found in /usr/include (Debian ${_debian})")
    return()
  endif()
  set(_copy ${CMAKE_BINARY_DIR}/${_package}-include)
  file(COPY ${_headers_${_package}}/${_folder} DESTINATION ${_copy})
  add_library(${_target} INTERFACE IMPORTED)
  set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_copy})
endif()
set(${_package}_FOUND TRUE)

# Debian packages: `cpack -G DEB` in a build (the release one) makes
#   varnel         the tool, its manual page and shell completions
#   libvarnel0.2   the shared library (named after its SONAME, libvarnel.so.0.2)
#   libvarnel-dev  headers, the static library, the CMake package, varnel.pc
# from the install components tool, libvarnel and dev. Dependencies on other
# packages are found by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Encrypts PDF files with passwords (AES-256, AES-128, RC4)")
set(CPACK_PACKAGE_CONTACT "Varnel developers <varnel@example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/varnel")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tool libvarnel dev)

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME varnel)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
 varnel writes an encrypted copy of a PDF file, decrypts one, re-keys one,
 and tells how a file is protected. The library is linked in.")

set(_library_package libvarnel${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
set(CPACK_DEBIAN_LIBVARNEL_PACKAGE_NAME ${_library_package})
set(CPACK_DEBIAN_LIBVARNEL_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBVARNEL_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_LIBVARNEL_DESCRIPTION "Varnel's PDF encryption library
 The C++ and C interface of varnel: encrypt a PDF document, open an
 encrypted one, check one.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvarnel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static library needs what the shared one links.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${_library_package} (= ${PROJECT_VERSION}), libssl-dev, libicu-dev, zlib1g-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Varnel's PDF encryption library: development files
 Headers, the static library, the CMake package (find_package(Varnel)) and
 the pkg-config file of libvarnel.")
include(CPack)

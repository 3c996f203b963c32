# Debian packages (cpack -G DEB): vx64_<version>_amd64.deb with the programs, the shared host
# library and the texts, and vx64-dev_<version>_amd64.deb with headers, static library and the
# pkg-config and CMake package files. Dependencies come from the binaries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vx64)
set(CPACK_PACKAGE_VENDOR "The vx64 developers")
set(CPACK_PACKAGE_CONTACT "The vx64 developers <vx64@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vx64.example.org/")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vx64)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# ldconfig runs through dpkg's trigger when the shared library is installed or removed.
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb_triggers ${PROJECT_BINARY_DIR}/deb/triggers COPYONLY)
# The registry file that names the mail client library is configuration: dpkg keeps a user's edits.
file(WRITE ${PROJECT_BINARY_DIR}/deb/conffiles "/etc/vx64/registry.reg\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/deb/triggers
  ${PROJECT_BINARY_DIR}/deb/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "XML validation worker and its host side
 vx64BWorker is a small worker process that a desktop host application starts
 beside itself; it validates XML files against the XSD schemas their namespaces
 lead to. The package holds the worker, the command-line host vxhost and the
 shared host library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME vx64-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static library needs the system libraries' development files.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "vx64 (= ${PROJECT_VERSION}), libxml2-dev, libcurl4-openssl-dev | libcurl-dev, libzip-dev, libelf-dev, libpcre2-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "development files of the vx64 host library
 Headers, the static host library and the pkg-config (vx64-host) and CMake
 (find_package(vx64)) files for applications that validate XML files and drive
 the vx64BWorker process.")

# Debian's texts in the staged trees: copyright, changelog, compressed manual pages.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_texts.cmake)
set(VX_LICENSE_FILE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackVx64.cmake)
file(WRITE ${PROJECT_BINARY_DIR}/CPackVx64.cmake
  "set(VX_LICENSE_FILE \"${VX_LICENSE_FILE}\")\nset(VX_VERSION \"${PROJECT_VERSION}\")\n")

include(CPack)

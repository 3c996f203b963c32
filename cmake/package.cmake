# Debian packages (cpack -G DEB), one per install component:
#   vx64            the programs (vxhost, the worker in /usr/libexec/vx64/), the machine registry
#                   naming the default mail client, the texts
#   libvx64-host0   the shared host library (named after its SONAME, as Debian names libraries)
#   libvx64mapi1    the project's mail client library
#   vx64-dev        headers, static library, pkg-config and CMake files
# Dependencies on system libraries come from the binaries (dpkg-shlibdeps); the libraries carry
# shlibs and symbols files (cmake/debian/) so that packages built against them depend correctly.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vx64)
set(CPACK_PACKAGE_VENDOR "The vx64 developers")
set(CPACK_PACKAGE_CONTACT "The vx64 developers <vx64@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vx64.example.org/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Each package's synopsis is the first line of its description (below), not the project's.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(version ${PROJECT_VERSION})
set(deb ${PROJECT_BINARY_DIR}/deb)

# What the programs start: sendmail and xdg-email (the mail library), zenity or kdialog (dialogs).
set(vx_mta "default-mta | mail-transport-agent")
set(vx_dialogs "zenity | kdialog")

set(host_package libvx64-host${PROJECT_VERSION_MAJOR})
set(CPACK_COMPONENTS_ALL runtime hostlib dev)
if(TARGET vx64mapi)
  get_target_property(mapi_soversion vx64mapi SOVERSION)
  set(mapi_package libvx64mapi${mapi_soversion})
  list(APPEND CPACK_COMPONENTS_ALL mapi)
endif()

# The programs. The mail library is only recommended: a validation-only install does not pull
# GMime and its gnupg stack.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vx64)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${host_package} (= ${version})")
# dpkg-shlibdeps finds the host library vxhost needs in that package's staged tree (cpack runs it
# in the component's tree); the dependency on it is the one above.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../hostlib/usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "${vx_mta}, xdg-utils")
if(mapi_package)
  string(PREPEND CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "${mapi_package}, ")
endif()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "${vx_dialogs}")
# The registry file that names the mail client library is configuration: dpkg keeps a user's edits.
file(WRITE ${deb}/runtime/conffiles "/etc/vx64/registry.reg\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${deb}/runtime/conffiles)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "XML validation and mail worker with its command-line host
vx64BWorker is a small worker process that a desktop host application starts
beside itself. It validates XML files against the XSD schemas their
namespaces lead to and sends e-mail through the user's mail client library.

This package holds the worker, the command-line host vxhost and the machine
registry that names the default mail client library.")

# The libraries: ldconfig runs through dpkg's trigger when they are installed or removed.
set(CPACK_DEBIAN_HOSTLIB_PACKAGE_NAME ${host_package})
set(CPACK_DEBIAN_HOSTLIB_PACKAGE_SECTION libs)
# The worker and the machine registry come with the programs.
set(CPACK_DEBIAN_HOSTLIB_PACKAGE_RECOMMENDS vx64)
set(CPACK_DEBIAN_HOSTLIB_PACKAGE_SUGGESTS "${vx_dialogs}")
set(CPACK_DEBIAN_HOSTLIB_DESCRIPTION "host library for XML validation through the vx64BWorker worker
libvx64-host is the library applications link to validate XML files against
the XSD schemas their namespaces lead to, in their own process or through the
vx64BWorker worker, to send e-mail through the default mail client library
and to read and write JSON text.")

set(CPACK_DEBIAN_MAPI_PACKAGE_NAME ${mapi_package})
set(CPACK_DEBIAN_MAPI_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_MAPI_PACKAGE_RECOMMENDS "${vx_mta}, xdg-utils")
set(CPACK_DEBIAN_MAPI_DESCRIPTION "Simple MAPI mail client library sending over SMTP or sendmail
libvx64mapi exports the twelve Simple MAPI functions. It builds MIME messages
and submits them over SMTP (STARTTLS, verified certificates) or through
sendmail, or opens the user's mail composer with xdg-email. Its settings are
read from ~/.config/vx64/mail.conf.

The vx64 package registers it as the default mail client.")

foreach(component hostlib mapi)
  string(TOUPPER ${component} c)
  set(package ${CPACK_DEBIAN_${c}_PACKAGE_NAME})
  if(NOT package)
    continue()
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/deb_triggers ${deb}/${component}/triggers COPYONLY)
  # The symbols file is made from cmake/debian/<package>.symbols and the staged library when
  # packaging (cmake/deb_texts.cmake).
  set(CPACK_DEBIAN_${c}_PACKAGE_CONTROL_EXTRA ${deb}/${component}/triggers ${deb}/${component}/symbols)
endforeach()

# Development files: the static library needs the development packages of the system libraries
# it is linked with (Requires.private of vx64-host.pc), and nothing else.
set(dev_packages
  libxml-2.0 libxml2-dev
  libcurl "libcurl4-openssl-dev | libcurl-dev"
  libzip libzip-dev
  libelf libelf-dev)
set(dev_depends "${host_package} (= ${version})")
get_property(requires GLOBAL PROPERTY VX_HOST_REQUIRES_PRIVATE)
foreach(module IN LISTS requires)
  list(FIND dev_packages ${module} at)
  if(at EQUAL -1)
    message(FATAL_ERROR "cmake/package.cmake: which Debian package has the pkg-config module ${module}?")
  endif()
  math(EXPR at "${at} + 1")
  list(GET dev_packages ${at} package)
  string(APPEND dev_depends ", ${package}")
endforeach()
set(CPACK_DEBIAN_DEV_PACKAGE_NAME vx64-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${dev_depends}")
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files for the vx64 host library
Headers, the static host library and the pkg-config (vx64-host) and CMake
(find_package(vx64)) files for applications that validate XML files and send
e-mail through the vx64BWorker worker.")

# Debian's texts in the staged trees (copyright, changelog, compressed manual pages, binaries
# stripped as Debian strips them), and the maintainer scripts CPack adds to library packages
# taken out of the finished packages (cmake/deb_texts.cmake, cmake/deb_finish.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_texts.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_finish.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackVx64.cmake)
file(WRITE ${PROJECT_BINARY_DIR}/CPackVx64.cmake
  "set(VX_LICENSE_FILE \"${PROJECT_SOURCE_DIR}/LICENSE\")\n"
  "set(VX_CHANGELOG_FILE \"${CMAKE_CURRENT_LIST_DIR}/debian/changelog\")\n"
  "set(VX_SYMBOLS_DIR \"${CMAKE_CURRENT_LIST_DIR}/debian\")\n"
  "set(VX_CONTROL_DIR \"${deb}\")\n"
  "set(VX_VERSION \"${version}\")\n"
  "set(VX_DEB_PACKAGES runtime=vx64 hostlib=${host_package} mapi=${mapi_package} dev=vx64-dev)\n"
  # Multi-Arch, which CPack does not write: the libraries can be installed for several
  # architectures at once, and the programs serve a host of any architecture.
  "set(VX_DEB_MULTIARCH vx64=foreign ${host_package}=same ${mapi_package}=same)\n")

include(CPack)

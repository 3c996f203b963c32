# Install rules. Components: "runtime" (the programs, the machine registry, the texts), "hostlib"
# (the shared host library), "mapi" (the mail client library, src/mapi/) and "dev" (headers,
# static library, pkg-config and CMake package files); each is a Debian package of its own
# (cmake/package.cmake). Nothing is written outside the prefix (DESTDIR honoured).
include(CMakePackageConfigHelpers)

# vxhost is a user's program; the worker is an internal one (it takes a window handle), kept in
# <libexecdir>/vx64/, where the programs and the host library look for it relative to their own
# installed place.
set(VX_WORKER_INSTALL_DIR ${CMAKE_INSTALL_LIBEXECDIR}/vx64)
install(TARGETS vxhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
if(VX_HOST_ONLY)
  if(VX_WORKER64)
    install(PROGRAMS ${VX_WORKER64} DESTINATION ${VX_WORKER_INSTALL_DIR} RENAME vx64BWorker
      COMPONENT runtime)
  endif()
else()
  install(TARGETS vx64BWorker RUNTIME DESTINATION ${VX_WORKER_INSTALL_DIR} COMPONENT runtime)
endif()

install(TARGETS vx64_host EXPORT vx64Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT hostlib NAMELINK_COMPONENT dev)
install(TARGETS vx64_host_static EXPORT vx64Targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vx64 ${PROJECT_BINARY_DIR}/include/vx64
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")

# CMake package: find_package(vx64 CONFIG) gives vx64::host (shared) and vx64::host_static.
set(vx64_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/vx64)
install(EXPORT vx64Targets NAMESPACE vx64:: DESTINATION ${vx64_cmakedir} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vx64Config.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/vx64Config.cmake INSTALL_DESTINATION ${vx64_cmakedir}
  PATH_VARS VX_WORKER_INSTALL_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/vx64ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/vx64Config.cmake ${PROJECT_BINARY_DIR}/cmake/vx64ConfigVersion.cmake
  DESTINATION ${vx64_cmakedir} COMPONENT dev)

# pkg-config: vx64-host.pc in the library folder. Its paths are those of the prefix the install
# runs with (`cmake --install --prefix`, CPack's /usr), normalised, so it is written when
# installing (cmake/install_pc.cmake.in). The static library's system libraries are named by their
# own pkg-config modules.
get_property(VX_HOST_REQUIRES_PRIVATE GLOBAL PROPERTY VX_HOST_REQUIRES_PRIVATE)
list(JOIN VX_HOST_REQUIRES_PRIVATE " " VX_HOST_REQUIRES_PRIVATE)
configure_file(${PROJECT_SOURCE_DIR}/cmake/install_pc.cmake.in ${PROJECT_BINARY_DIR}/pkgconfig/install_pc.cmake @ONLY)
install(SCRIPT ${PROJECT_BINARY_DIR}/pkgconfig/install_pc.cmake COMPONENT dev)

# Texts: README and license, and the manual pages (English, and Polish in pl/).
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
include(${PROJECT_SOURCE_DIR}/doc/manpages.cmake)

# Install rules. Components: "runtime" (the programs, the shared host library, the texts) and
# "dev" (headers, static library, pkg-config and CMake package files). Nothing is written outside
# the prefix (DESTDIR honoured).
include(CMakePackageConfigHelpers)

if(VX_HOST_ONLY)
  install(TARGETS vxhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  if(VX_WORKER64)
    install(PROGRAMS ${VX_WORKER64} DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME vx64BWorker
      COMPONENT runtime)
  endif()
else()
  install(TARGETS vxhost vx64BWorker RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

install(TARGETS vx64_host EXPORT vx64Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(TARGETS vx64_host_static EXPORT vx64Targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vx64 ${PROJECT_BINARY_DIR}/include/vx64
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")

# CMake package: find_package(vx64 CONFIG) gives vx64::host (shared) and vx64::host_static.
set(vx64_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/vx64)
install(EXPORT vx64Targets NAMESPACE vx64:: DESTINATION ${vx64_cmakedir} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vx64Config.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/vx64Config.cmake INSTALL_DESTINATION ${vx64_cmakedir}
  PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/vx64ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/vx64Config.cmake ${PROJECT_BINARY_DIR}/cmake/vx64ConfigVersion.cmake
  DESTINATION ${vx64_cmakedir} COMPONENT dev)

# pkg-config: vx64-host.pc, relocatable (paths from the file's own place).
set(pc_rel "")
set(pc_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
while(pc_dir AND NOT pc_dir STREQUAL ".")
  string(APPEND pc_rel "/..")
  get_filename_component(pc_dir "${pc_dir}" DIRECTORY)
endwhile()
get_property(VX_HOST_LIBS_PRIVATE GLOBAL PROPERTY VX_HOST_LIBS_PRIVATE)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vx64-host.pc.in ${PROJECT_BINARY_DIR}/vx64-host.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vx64-host.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Texts: README and license, and the manual pages (English, and Polish in pl/).
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
include(${PROJECT_SOURCE_DIR}/doc/manpages.cmake)

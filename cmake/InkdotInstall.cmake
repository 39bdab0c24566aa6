# What `cmake --install` puts in place: the engine libraries and header, a
# CMake package (find_package(inkdot)), a pkg-config file, the inkdot
# command (the profile tools install the bundled profiles).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS inkdot inkdot_static EXPORT inkdotTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${PROJECT_SOURCE_DIR}/include/inkdot/inkdot.h"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/inkdot)

set(INKDOT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/inkdot)
install(EXPORT inkdotTargets NAMESPACE inkdot:: DESTINATION ${INKDOT_CMAKE_DIR})
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/inkdotConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/inkdotConfig.cmake" INSTALL_DESTINATION ${INKDOT_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/inkdotConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/inkdotConfig.cmake"
              "${PROJECT_BINARY_DIR}/inkdotConfigVersion.cmake"
  DESTINATION ${INKDOT_CMAKE_DIR})

# The pkg-config file finds the prefix from its own folder.
file(RELATIVE_PATH INKDOT_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file("${PROJECT_SOURCE_DIR}/cmake/inkdot.pc.in" "${PROJECT_BINARY_DIR}/inkdot.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/inkdot.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS inkdot_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The bundled profiles are installed by the profile tools (tools/profile/),
# which generate them at build time.

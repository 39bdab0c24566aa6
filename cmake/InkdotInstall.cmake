# SPDX-License-Identifier: Apache-2.0
# What `cmake --install` puts in place: the engine libraries and header, the
# host SDK (library and headers), one CMake package for both
# (find_package(inkdot): inkdot::inkdot, inkdot::inkdot_static,
# inkdot::host), pkg-config files (inkdot, inkdot-host), the inkdot command
# with its manual pages and bash completion, and the documentation (the
# profile tools install the bundled profiles). Every installed file finds
# the others relative to itself, so the tree can be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS inkdot inkdot_static EXPORT inkdotTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${PROJECT_SOURCE_DIR}/include/inkdot/inkdot.h"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/inkdot)

# The host SDK: a static library over the static engine and the resource
# formats (another static library, whose headers the SDK's include).
install(TARGETS inkdot_host inkdot_formats inkdot_format_layouts EXPORT inkdotTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY "${PROJECT_SOURCE_DIR}/host/include/inkdot/host"
                  "${PROJECT_SOURCE_DIR}/formats/include/inkdot/formats"
                  "${PROJECT_SOURCE_DIR}/formats/layout/inkdot/formats"
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
configure_file("${PROJECT_SOURCE_DIR}/cmake/inkdot-host.pc.in" "${PROJECT_BINARY_DIR}/inkdot-host.pc"
               @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/inkdot.pc" "${PROJECT_BINARY_DIR}/inkdot-host.pc"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS inkdot_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/man/"
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 FILES_MATCHING PATTERN "*.1")
install(FILES "${PROJECT_SOURCE_DIR}/tools/inkdot/completion/inkdot.bash"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME inkdot)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE"
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/"
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  FILES_MATCHING PATTERN "*.md" PATTERN "man" EXCLUDE PATTERN "images" EXCLUDE)
# The bundled profiles are installed by the profile tools (tools/profile/),
# which generate them at build time.

include(CMakePackageConfigHelpers)

set(TOVA_PLUGIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tova-plugin)

install(TARGETS tova-plugin tova-plugin-loader
  EXPORT tova-plugin-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
)
# The programs find the libraries relative to themselves, so that they start
# from any prefix; not when the libraries go where the system looks anyway
# (a package for /usr). The libraries themselves carry no search path.
if(NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
  file(RELATIVE_PATH TOVA_PLUGIN_BIN_TO_LIB
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(tova-plugin-info tova-plugin-tool PROPERTIES
    INSTALL_RPATH "$ORIGIN/${TOVA_PLUGIN_BIN_TO_LIB}")
endif()

install(EXPORT tova-plugin-targets
  NAMESPACE tova::
  DESTINATION ${TOVA_PLUGIN_CMAKE_DIR}
  COMPONENT development
)

set(TOVA_PLUGIN_LICENSE Apache-2.0)
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/tova-plugin-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tova-plugin-config.cmake
  INSTALL_DESTINATION ${TOVA_PLUGIN_CMAKE_DIR}
)
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/tova-plugin-config-version.cmake
  COMPATIBILITY SameMajorVersion
)
install(FILES
  ${CMAKE_CURRENT_LIST_DIR}/TovaAddPlugin.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tova-plugin-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tova-plugin-config-version.cmake
  DESTINATION ${TOVA_PLUGIN_CMAKE_DIR}
  COMPONENT development
)

# pkg-config files find their prefix relative to where they are installed,
# so an installed tree can be moved.
file(RELATIVE_PATH TOVA_PLUGIN_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(pc tova-plugin tova-plugin-loader)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in
    ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
endforeach()

# Manual pages of the programs, compressed as Debian installs them (-n: no
# time stamp, so that the packages build reproducibly).
find_program(TOVA_PLUGIN_GZIP gzip REQUIRED)
set(man_pages "")
foreach(page tova-plugin-info.1 tova-plugin.1)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page}
            ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
    COMMAND ${TOVA_PLUGIN_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}
    VERBATIM)
  list(APPEND man_pages ${compressed})
endforeach()
add_custom_target(tova-plugin-man-pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT inspector)

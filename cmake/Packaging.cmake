# Debian packages: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr, so that the libraries land in the multiarch
# directory that the packages install to.
#
#   libtova-plugin4      the two shared libraries (component runtime)
#   libtova-plugin-dev   headers, CMake package, pkg-config files and the
#                        unversioned library links (component development)
#   tova-plugin-info     the programs tova-plugin-info and tova-plugin
#                        (component inspector)

set(TOVA_PLUGIN_PACKAGE_CONTACT
  "tova-plugin developers <tova-plugin@example.org>"
  CACHE STRING "Maintainer named in the Debian packages")

set(CPACK_PACKAGE_NAME tova-plugin)
set(CPACK_PACKAGE_VENDOR "tova-plugin developers")
set(CPACK_PACKAGE_CONTACT "${TOVA_PLUGIN_PACKAGE_CONTACT}")
# No package-wide summary: CPack would put it above every package's own
# description, and all three would share one summary line.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime development inspector)

set(CPACK_DEB_COMPONENT_INSTALL ON)
# The binaries are stripped; their debug information goes to -dbgsym
# packages (.ddeb) when the build has any (RelWithDebInfo).
set(CPACK_DEBIAN_RUNTIME_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_INSPECTOR_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Component dependencies become exact-version Depends between the packages.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps adds the system libraries; it finds ours in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The libraries keep their binary interface for one SOVERSION.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
foreach(library tova-plugin tova-plugin-loader)
  get_target_property(directory ${library} BINARY_DIR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${directory})
endforeach()

# Descriptions: the summary line, then the text, which CPack indents.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtova-plugin${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "C++17 plugin framework: shared libraries
Plugin instances and handles, registries, and the loader that opens plugin
libraries and makes plugin instances.")
# ldconfig runs through the dpkg trigger alone. The maintainer scripts are
# given so that CPack generates none that call ldconfig.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
  ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtova-plugin-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "C++17 plugin framework: development files
Headers, CMake package (tova::plugin, tova::plugin-loader) and pkg-config
files for writing plugin libraries and programs that load them.")
set(CPACK_DEBIAN_INSPECTOR_PACKAGE_NAME tova-plugin-info)
set(CPACK_DEBIAN_INSPECTOR_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_INSPECTOR_DESCRIPTION "Prints what a tova-plugin plugin library provides
Lists the plugins of a plugin library with their interfaces and aliases
(tova-plugin-info), and shows and checks the manifest that a plugin
library carries without loading it (tova-plugin).")

include(CPack)

cpack_add_component(runtime DISPLAY_NAME "tova-plugin libraries")
# tova_add_plugin checks every plugin library with the program tova-plugin.
cpack_add_component(development
  DISPLAY_NAME "tova-plugin development files" DEPENDS runtime inspector)
cpack_add_component(inspector DISPLAY_NAME "tova-plugin-info" DEPENDS runtime)

# Every package's changelog and copyright file, in its documentation
# directory. Installed only into the packages, not by cmake --install.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in
  ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
execute_process(
  COMMAND ${TOVA_PLUGIN_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
  COMMAND_ERROR_IS_FATAL ANY)
foreach(component runtime development inspector)
  string(TOUPPER ${component} upper)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
                ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

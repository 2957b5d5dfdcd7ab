# tova_add_plugin(<target> [STATIC] [NO_CHECK] SOURCES <file>...)
#
# Builds a plugin library the way the loader needs it: a loadable module
# that links tova::plugin, with hidden visibility for its symbols and inline
# functions and without GNU unique symbols (the platform never unloads a
# library that defines one). After every build `tova-plugin check` loads it
# and the build fails on any finding; NO_CHECK skips that for one target,
# the option TOVA_PLUGIN_CHECK_PLUGINS for all of them (when the result
# cannot run on the build machine).
#
# STATIC makes the same sources a static plugin: an object library that a
# program links (target_link_libraries(app PRIVATE <target>)). Its
# registrations then go to the static registry, and its manifest into the
# program. An object library rather than an archive, so that the linker
# cannot drop registrations that nothing refers to.

include_guard(GLOBAL)
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

if(CMAKE_CROSSCOMPILING)
  set(_tova_plugin_check_default OFF)
else()
  set(_tova_plugin_check_default ON)
endif()
option(TOVA_PLUGIN_CHECK_PLUGINS
  "Run tova-plugin check on every plugin library that tova_add_plugin builds"
  ${_tova_plugin_check_default})

function(tova_add_plugin target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "STATIC;NO_CHECK" "" "SOURCES")
  if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_SOURCES)
    message(FATAL_ERROR "usage: tova_add_plugin(<target> [STATIC] [NO_CHECK] SOURCES <file>...)")
  endif()
  if(ARG_STATIC)
    add_library(${target} OBJECT ${ARG_SOURCES})
    target_link_libraries(${target} PUBLIC tova::plugin-loader)
    # Makes Register.hpp's macros register in the static registry.
    target_compile_definitions(${target} PRIVATE TOVA_PLUGIN_STATIC_PLUGIN)
  else()
    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE tova::plugin)
    _tova_plugin_bind_own_functions(${target})
  endif()
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  _tova_plugin_without_unique_symbols(${target})
  if(NOT ARG_STATIC AND NOT ARG_NO_CHECK AND TOVA_PLUGIN_CHECK_PLUGINS)
    _tova_plugin_check_after_build(${target})
  endif()
endfunction()

# Hidden visibility does not cover what a header marks visible on purpose;
# g++ would still make such an inline function's static a unique symbol.
# clang has no such flag and emits no unique symbols.
function(_tova_plugin_without_unique_symbols target)
  check_cxx_compiler_flag(-fno-gnu-unique TOVA_PLUGIN_HAVE_NO_GNU_UNIQUE)
  if(TOVA_PLUGIN_HAVE_NO_GNU_UNIQUE)
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
endfunction()

# A library's calls to functions it defines itself and exports all the same
# (the standard library's templates that it instantiates) go to its own
# definitions, resolved at link time; otherwise the dynamic loader looks
# each one up through every loaded library whenever the library is loaded.
function(_tova_plugin_bind_own_functions target)
  check_linker_flag(CXX -Wl,-Bsymbolic-functions
    TOVA_PLUGIN_HAVE_BSYMBOLIC_FUNCTIONS)
  if(TOVA_PLUGIN_HAVE_BSYMBOLIC_FUNCTIONS)
    target_link_options(${target} PRIVATE -Wl,-Bsymbolic-functions)
  endif()
endfunction()

function(_tova_plugin_check_after_build target)
  if(NOT TARGET tova::plugin-tool)
    message(FATAL_ERROR "tova_add_plugin(${target}): the program tova-plugin, "
      "which checks plugin libraries, is not installed; install it (Debian: "
      "tova-plugin-info) or set TOVA_PLUGIN_CHECK_PLUGINS=OFF")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND tova::plugin-tool check $<TARGET_FILE:${target}>
    COMMENT "Checking plugin library ${target}"
    VERBATIM)
  get_target_property(tool tova::plugin-tool ALIASED_TARGET)
  if(tool)
    add_dependencies(${target} ${tool})
  endif()
endfunction()

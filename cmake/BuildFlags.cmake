# Compile and link flags of this project's own targets: warnings, and the
# sanitizers when asked for. Given target by target, not to a directory, so
# that a project that builds this one inside it gets none of them.

# The targets defined in `directory` and below it.
function(tova_plugin_targets_below directory output)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory ${subdirectories})
    tova_plugin_targets_below(${subdirectory} nested)
    list(APPEND targets ${nested})
  endforeach()
  set(${output} ${targets} PARENT_SCOPE)
endfunction()

function(tova_plugin_apply_build_flags)
  set(compile_options -Wall -Wextra -Wpedantic)
  set(link_options "")
  if(TOVA_PLUGIN_WARNINGS_AS_ERRORS)
    list(APPEND compile_options -Werror)
  endif()
  if(TOVA_PLUGIN_SANITIZE)
    list(APPEND compile_options -fsanitize=address,undefined
         -fno-sanitize-recover=all -fno-omit-frame-pointer)
    list(APPEND link_options -fsanitize=address,undefined)
  endif()
  if(TOVA_PLUGIN_TSAN)
    list(APPEND compile_options -fsanitize=thread -fno-omit-frame-pointer)
    list(APPEND link_options -fsanitize=thread)
  endif()
  tova_plugin_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|(SHARED|MODULE|STATIC|OBJECT)_LIBRARY)$")
      # First, as directory options came, so that a target's own
      # -Wno-... still wins.
      target_compile_options(${target} BEFORE PRIVATE ${compile_options})
      target_link_options(${target} BEFORE PRIVATE ${link_options})
    endif()
  endforeach()
endfunction()

# Writes code blocks of Markdown files to files of their own, so that the
# tests build and run the code exactly as the documents show it. A block is
# chosen by a marker line right before its opening fence:
#
#   <!-- KIND: NAME -->
#   ```cpp
#   ...
#   ```
#
# A NAME ending in .inc holds statements for a function body: its #include
# lines are written apart, to NAME.includes.

# write_fenced_block(TEXT SOURCE OUTPUT): writes the body of the fenced
# block at the start of TEXT to OUTPUT, touching OUTPUT only when its
# content changes.
function(write_fenced_block text source output)
  string(REGEX MATCH "^ *```[^\n]*\n" fence "${text}")
  if(NOT fence)
    message(FATAL_ERROR "${source}: the marker of ${output} is not followed by a fenced block")
  endif()
  string(LENGTH "${fence}" fenceLength)
  string(SUBSTRING "${text}" ${fenceLength} -1 rest)
  string(FIND "${rest}" "```" closeAt)
  if(closeAt EQUAL -1)
    message(FATAL_ERROR "${source}: the block of ${output} is not closed")
  endif()
  string(SUBSTRING "${rest}" 0 ${closeAt} body)
  # The closing fence's indentation is no part of the block.
  string(REGEX REPLACE " +$" "" body "${body}")
  if(output MATCHES "[.]inc$")
    # Statements for a function body: their #include lines go apart, to be
    # included at file scope.
    string(REGEX MATCHALL "[ ]*#include[^\n]*\n" includes "${body}")
    string(REGEX REPLACE "[ ]*#include[^\n]*\n" "" body "${body}")
    list(JOIN includes "" includes)
    write_if_changed(${output}.includes "${includes}")
  endif()
  write_if_changed(${output} "${body}")
endfunction()

# write_if_changed(OUTPUT CONTENT): leaves an unchanged file untouched, so
# that what is built from it is not built again.
function(write_if_changed output content)
  file(WRITE ${output}.new "${content}")
  file(COPY_FILE ${output}.new ${output} ONLY_IF_DIFFERENT)
  file(REMOVE ${output}.new)
endfunction()

# write_marked_blocks(FILE KIND DIRECTORY [NAMES_VAR]): writes every block
# marked "<!-- KIND: NAME -->" in FILE to DIRECTORY/NAME, and appends the
# names to NAMES_VAR when given. Reconfigures when FILE changes.
function(write_marked_blocks file kind directory)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(READ ${file} rest)
  set(tag "<!-- ${kind}: ")
  string(LENGTH "${tag}" tagLength)
  set(written "")
  while(TRUE)
    string(FIND "${rest}" "${tag}" tagAt)
    if(tagAt EQUAL -1)
      break()
    endif()
    math(EXPR nameAt "${tagAt} + ${tagLength}")
    string(SUBSTRING "${rest}" ${nameAt} -1 rest)
    string(FIND "${rest}" " -->\n" nameLength)
    string(SUBSTRING "${rest}" 0 ${nameLength} name)
    math(EXPR blockAt "${nameLength} + 5")
    string(SUBSTRING "${rest}" ${blockAt} -1 rest)
    write_fenced_block("${rest}" ${file} ${directory}/${name})
    list(APPEND written ${name})
  endwhile()
  if(ARGC GREATER 3)
    set(${ARGV3} ${${ARGV3}} ${written} PARENT_SCOPE)
  endif()
endfunction()

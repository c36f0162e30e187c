# cmake -DVRK=path/to/vrk -DOUT=file -P VrkManCommands.cmake
# Writes a help2man include file with a COMMANDS section: the `--help` of
# every command (and of patch's own commands), so that the man page shows
# each command's options, not only the list of commands.

# The names at the start of the lines under "Subcommands:" in `help`.
function(command_names help out)
  string(REGEX REPLACE ".*\nSubcommands:\n" "" tail "${help}")
  string(REGEX REPLACE "\n\n.*" "" tail "${tail}")
  string(REPLACE "\n" ";" lines "${tail}")
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "^  ([a-z]+)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# One command's help as roff: unfilled, backslashes and leading dots escaped.
function(append_command section words)
  execute_process(COMMAND ${VRK} ${words} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "vrk ${words} --help failed")
  endif()
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(REPLACE ";" " " title "${words}")
  set(${section} "${${section}}.SS \"vrk ${title}\"\n.nf\n${help}.fi\n" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${VRK} --help OUTPUT_VARIABLE top RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "vrk --help failed")
endif()
set(text "[COMMANDS]\n")
command_names("${top}" commands)
foreach(cmd IN LISTS commands)
  append_command(text "${cmd}")
  if(cmd STREQUAL "patch")
    execute_process(COMMAND ${VRK} patch --help OUTPUT_VARIABLE patchHelp)
    command_names("${patchHelp}" patchCommands)
    foreach(sub IN LISTS patchCommands)
      append_command(text "patch;${sub}")
    endforeach()
  endif()
endforeach()
file(WRITE ${OUT} "${text}")

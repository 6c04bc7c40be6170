# Puts files into the run folder without overwriting what a person changed
# there (settings, effect sources):
#   cmake -DFROM=<folder> -DTO=<run folder> -DRECORD=<file> -DFILES=<paths> -P install_run_files.cmake
# FILES are relative to FROM, and land at the same place under TO. RECORD
# keeps the SHA-256 of what was last put at each place. A file is put there
# when it is missing, or when it still holds exactly what was last put there;
# a file that holds anything else is kept, and one line names it.
cmake_minimum_required(VERSION 3.25)

foreach(required FROM TO RECORD)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "install_run_files: ${required} is not set")
  endif()
endforeach()

# The record: one "<hash>  <path>" line for each file.
if(EXISTS ${RECORD})
  file(STRINGS ${RECORD} record_lines)
  foreach(line IN LISTS record_lines)
    if(line MATCHES "^([0-9a-f]+)  (.+)$")
      string(MAKE_C_IDENTIFIER "${CMAKE_MATCH_2}" key)
      set(put_${key} ${CMAKE_MATCH_1})
    endif()
  endforeach()
endif()

set(record "")
foreach(name IN LISTS FILES)
  set(source ${FROM}/${name})
  set(target ${TO}/${name})
  string(MAKE_C_IDENTIFIER "${name}" key)
  file(SHA256 ${source} wanted)
  set(last "${put_${key}}")
  if(EXISTS ${target})
    file(SHA256 ${target} there)
  else()
    set(there "")
  endif()
  if(there STREQUAL wanted)
    set(last ${wanted})
  elseif(there STREQUAL "" OR there STREQUAL last)
    get_filename_component(folder ${target} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(COPY_FILE ${source} ${target})
    set(last ${wanted})
  else()
    message(NOTICE "Kept ${target}: changed since the build put it there (delete it to get ${source} back)")
  endif()
  if(NOT last STREQUAL "")
    string(APPEND record "${last}  ${name}\n")
  endif()
endforeach()

get_filename_component(record_folder ${RECORD} DIRECTORY)
file(MAKE_DIRECTORY ${record_folder})
file(WRITE ${RECORD}.new "${record}")
file(RENAME ${RECORD}.new ${RECORD})

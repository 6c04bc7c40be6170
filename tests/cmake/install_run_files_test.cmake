# Files put into a run folder twice, the sources changing in between: one still
# as put is replaced, missing ones are put again, an edited one is kept and named.
#   cmake -DSCRIPT=<install_run_files.cmake> -P install_run_files_test.cmake
set(tmp "$ENV{TMPDIR}")
if(NOT tmp)
  set(tmp /tmp)
endif()
string(RANDOM LENGTH 8 suffix)
set(dir ${tmp}/zandrel-run-files-${suffix})
set(names as_put.ini edited.ini removed.fx sub/new.dds)

function(install_into round)
  foreach(name ${names})
    file(WRITE ${dir}/from/${name} "${round} ${name}")
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -DFROM=${dir}/from -DTO=${dir}/to -DRECORD=${dir}/record
    "-DFILES=${names}" -P ${SCRIPT} ERROR_VARIABLE said)
  set(said "${said}" PARENT_SCOPE)
endfunction()

install_into(first)
file(WRITE ${dir}/to/edited.ini "async=1")
file(REMOVE ${dir}/to/removed.fx ${dir}/to/sub/new.dds)
install_into(second)
set(held "")
foreach(name ${names})
  file(READ ${dir}/to/${name} text)
  string(APPEND held "${name}: ${text}; ")
endforeach()
file(REMOVE_RECURSE ${dir})
if(NOT held STREQUAL "as_put.ini: second as_put.ini; edited.ini: async=1; removed.fx: second removed.fx; sub/new.dds: second sub/new.dds; "
   OR NOT said MATCHES "^Kept ${dir}/to/edited.ini: [^\n]*\n$")
  message(FATAL_ERROR "the run folder holds ${held}and the build said [${said}]")
endif()

# Runs artgen into WORK and compares every file with its committed copy
# under RESOURCES, byte for byte; files on one side only count as stale too.
#   cmake -DARTGEN=... -DRESOURCES=.../res -DWORK=... -P CheckCurrent.cmake
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND "${ARTGEN}" "${WORK}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "artgen failed: ${result}")
endif()

file(GLOB generated RELATIVE "${WORK}" "${WORK}/art/*" "${WORK}/artwork.rc")
file(GLOB committed RELATIVE "${RESOURCES}" "${RESOURCES}/art/*" "${RESOURCES}/artwork.rc")
set(stale "")
foreach(name IN LISTS generated committed)
  if(NOT EXISTS "${WORK}/${name}" OR NOT EXISTS "${RESOURCES}/${name}")
    list(APPEND stale "${name}")
    continue()
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/${name}" "${RESOURCES}/${name}"
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    list(APPEND stale "${name}")
  endif()
endforeach()
list(REMOVE_DUPLICATES stale)
if(stale)
  message(FATAL_ERROR "artwork out of date (run scripts/make-art.sh): ${stale}")
endif()
list(LENGTH generated count)
message(STATUS "${count} artwork files match")

# Builds one layer probe; `expect` is "builds" or "refused" (the header is not
# found from that layer).
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target ${target}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(expect STREQUAL "builds")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${target} should build:\n${output}")
  endif()
elseif(result EQUAL 0)
  message(FATAL_ERROR "${target} built: ${header} is visible where it must not be")
elseif(NOT output MATCHES "${header}: No such file")
  message(FATAL_ERROR "${target} failed for another reason:\n${output}")
endif()

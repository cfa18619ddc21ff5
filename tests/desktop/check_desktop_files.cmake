# The desktop entry passes desktop-file-validate and the manual page renders
# without a warning; skipped when neither tool is installed.
find_program(VALIDATE desktop-file-validate)
find_program(GROFF groff)
if(NOT VALIDATE AND NOT GROFF)
  message(STATUS "SKIPPED: neither desktop-file-validate nor groff is installed")
  return()
endif()
if(VALIDATE)
  execute_process(COMMAND "${VALIDATE}" "${DESKTOP_DIR}/zyfar.desktop"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate: ${status}\n${out}")
  endif()
endif()
if(GROFF)
  execute_process(COMMAND "${GROFF}" -man -Tutf8 -ww -z "${DESKTOP_DIR}/zyfar.1"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "groff: ${status}\n${out}")
  endif()
endif()

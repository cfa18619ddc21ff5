# cmake --install into an empty prefix must put exactly these files there:
# the program, the desktop entry, the icons and the manual page (no test,
# benchmark or fuzz program, no library or header).
set(expected
  bin/zyfar
  share/applications/zyfar.desktop
  share/icons/hicolor/128x128/apps/zyfar.png
  share/icons/hicolor/16x16/apps/zyfar.png
  share/icons/hicolor/22x22/apps/zyfar.png
  share/icons/hicolor/24x24/apps/zyfar.png
  share/icons/hicolor/256x256/apps/zyfar.png
  share/icons/hicolor/32x32/apps/zyfar.png
  share/icons/hicolor/48x48/apps/zyfar.png
  share/icons/hicolor/64x64/apps/zyfar.png
  share/icons/hicolor/scalable/apps/zyfar.svg
  share/man/man1/zyfar.1)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" LIST_DIRECTORIES false "${PREFIX}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " got "${installed}")
  message(FATAL_ERROR "installed files differ from the expected list; installed:\n  ${got}")
endif()
# Every folder holds something (no empty size folder of the theme).
file(GLOB_RECURSE folders RELATIVE "${PREFIX}" LIST_DIRECTORIES true "${PREFIX}/*")
foreach(f IN LISTS folders)
  if(IS_DIRECTORY "${PREFIX}/${f}")
    file(GLOB inside "${PREFIX}/${f}/*")
    if(NOT inside)
      message(FATAL_ERROR "empty folder installed: ${f}")
    endif()
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/bin/zyfar" --version OUTPUT_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version MATCHES "^Zyfar v\\. ")
  message(FATAL_ERROR "the installed program does not run: ${status} ${version}")
endif()
file(REMOVE_RECURSE "${PREFIX}")

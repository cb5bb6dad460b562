# The layer check (cmake/CheckLayers.cmake) against every spelling of an include: each row
# is a line in a file of the text layer (src/text/a.cpp) and whether the check must refuse it.
# Run as: cmake -DCHECK=<CheckLayers.cmake> -DWORK=<scratch folder> -P layercheck.cmake
set(rows
  "refuse|#include \"model/x.h\""
  "refuse|  #include \"model/x.h\""
  "refuse|\t#include \"model/x.h\""
  "refuse|#  include \"model/x.h\""
  "refuse|#include <model/x.h>"
  "refuse|#include \"../model/x.h\""
  "refuse|#include \"./../model/x.h\""
  "refuse|#include \"text/../model/x.h\""
  "refuse|#include <text/../model/x.h>"
  "refuse|#include \"../../src/model/x.h\""
  "refuse|#include \"./.././model/x.h\""
  "allow|#include \"text/y.h\""
  "allow|#include \"y.h\""
  "allow|#include \"../text/y.h\""
  "allow|#include \"model/../text/y.h\""
  "allow|#include <sys/socket.h>"
  "allow|#include <QtCore/QString>"
  "allow|// #include model/x.h in a comment")
set(src "${WORK}/src")
set(layers "text:text|model:model,text")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${src}/text" "${src}/model")
set(failures 0)
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" parts "${row}")
  list(GET parts 0 expected)
  list(GET parts 1 line)
  string(REPLACE "\\t" "\t" line "${line}")
  file(WRITE "${src}/text/a.cpp" "${line}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} "-DSOURCE_DIR=${src}" "-DLAYERS=${layers}" -P "${CHECK}"
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(result EQUAL 0)
    set(got allow)
  else()
    set(got refuse)
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "${line}: expected ${expected}, the check did ${got}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
# The other way round is allowed: a lower layer is below model.
file(WRITE "${src}/text/a.cpp" "\n")
file(WRITE "${src}/model/b.cpp" "#include \"text/y.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} "-DSOURCE_DIR=${src}" "-DLAYERS=${layers}" -P "${CHECK}"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  message(SEND_ERROR "model may include text, yet the check refused it")
  math(EXPR failures "${failures} + 1")
endif()
file(REMOVE_RECURSE "${WORK}")
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} layer check rows failed")
endif()

# Fails when a file of the program includes a header of a layer above its own, or of a sibling
# implementation. Run as: cmake -DROOT=<source folder> -P layering.cmake
#
# Each folder is one layer; a file may include headers of its own folder and of layers of a lower rank.
cmake_minimum_required(VERSION 3.16)

set(PXT_LAYERS
  core 0
  dom 1
  ui 1
  pages 2
  browser 2
  http 2
  browser/devtools 3
  browser/webengine 3
  browser/bidi 3
  settings 4
  harvest 5
  panes 6
  dialogs 6
  app 7
  testing 8
  tests 9
  bench 9
  tools 9
  fuzz 9)

# The road and everything under it link Qt Core and Network only: no file there includes a header of
# Qt Widgets or Qt Gui (their names are read from WIDGET_HEADER_DIRS, the folders of those headers).
set(PXT_WIDGET_FREE core dom pages browser http browser/devtools browser/bidi settings harvest)

if(NOT ROOT)
  message(FATAL_ERROR "layering.cmake needs -DROOT=<source folder>")
endif()

# The layer of a path relative to ROOT: the longest layer folder it lies in; empty for none.
function(pxt_layer_of path out_layer out_rank)
  set(best "")
  set(best_rank "")
  list(LENGTH PXT_LAYERS n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET PXT_LAYERS ${i} folder)
    list(GET PXT_LAYERS ${j} rank)
    string(LENGTH "${folder}" len)
    string(LENGTH "${best}" best_len)
    if(path MATCHES "^${folder}/" AND len GREATER best_len)
      set(best "${folder}")
      set(best_rank "${rank}")
    endif()
  endforeach()
  set(${out_layer} "${best}" PARENT_SCOPE)
  set(${out_rank} "${best_rank}" PARENT_SCOPE)
endfunction()

set(folders "")
list(LENGTH PXT_LAYERS n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  list(GET PXT_LAYERS ${i} folder)
  list(APPEND folders "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
endforeach()
file(GLOB_RECURSE files ${folders})
list(REMOVE_DUPLICATES files)

set(violations "")
set(checked 0)
foreach(file ${files})
  file(RELATIVE_PATH rel "${ROOT}" "${file}")
  pxt_layer_of("${rel}" layer rank)
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    pxt_layer_of("${header}" to_layer to_rank)
    if(to_layer STREQUAL "")
      list(APPEND violations "${rel}: \"${header}\" lies in no layer")
    elseif(NOT to_layer STREQUAL layer AND NOT to_rank LESS rank)
      list(APPEND violations "${rel} (${layer}) includes \"${header}\" (${to_layer})")
    endif()
    math(EXPR checked "${checked} + 1")
  endforeach()
endforeach()

string(REPLACE "|" ";" WIDGET_HEADER_DIRS "${WIDGET_HEADER_DIRS}")
set(widget_headers "")
foreach(dir ${WIDGET_HEADER_DIRS})
  file(GLOB names RELATIVE "${dir}" "${dir}/Q*")
  list(APPEND widget_headers ${names})
endforeach()
if(NOT widget_headers)
  list(APPEND violations "no widget header names found (WIDGET_HEADER_DIRS: ${WIDGET_HEADER_DIRS})")
endif()
foreach(file ${files})
  file(RELATIVE_PATH rel "${ROOT}" "${file}")
  pxt_layer_of("${rel}" layer rank)
  if(NOT layer IN_LIST PXT_WIDGET_FREE)
    continue()
  endif()
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*<[^>]+>")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>.*" "\\1" header "${line}")
    string(REGEX REPLACE "^Qt(Widgets|Gui)/" "" name "${header}")
    if(header MATCHES "^Qt(Widgets|Gui)/" OR name IN_LIST widget_headers)
      list(APPEND violations "${rel} (${layer}, without widgets) includes <${header}>")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "layering: ${checked} includes checked, all point down")

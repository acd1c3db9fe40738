# The layer rule, checked over the source tree (cmake -DROOT=<source dir> [-DFOLDERS=a,b,...] -P
# check_layers.cmake), for what the compiler does not see (the build lets a target include only the
# libraries it links, but a header is compiled where it is included):
#  - a folder includes only folders at or below it in docs/ARCHITECTURE.md's table;
#  - the toolkit-free folders include no wx or GTK header, nor a file of a folder that is not
#    toolkit-free itself;
#  - every top-level product folder has its row in the table, and the rows stand in the order of
#    FOLDERS, the build's list.
# Each breach names the file and the include. Prints nothing when the tree keeps the rule.
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
  message(FATAL_ERROR "check_layers.cmake: pass -DROOT=<source dir>")
endif()

set(toolkit_free_folders res platform protect ecuserver prog comm document authoring)
set(toolkit_header_regex "^(wx|gtk|gdk|gdk-pixbuf|glib|gio|gobject|pango|cairo|atk)(/|\\.h$|-)")

# The folders, bottom layer first: the table rows that name a library target.
file(STRINGS ${ROOT}/docs/ARCHITECTURE.md rows REGEX "^\\| [a-z_]+/ \\| tessary_")
set(layers)
foreach(row ${rows})
  string(REGEX MATCH "^\\| ([a-z_]+)/" _ "${row}")
  list(APPEND layers ${CMAKE_MATCH_1})
endforeach()
if(NOT layers)
  message(FATAL_ERROR "layer rule: no folder rows found in docs/ARCHITECTURE.md")
endif()

set(breaches)

if(FOLDERS)
  string(REPLACE "," ";" folders "${FOLDERS}")
  if(NOT folders STREQUAL layers)
    list(JOIN layers " " table_order)
    list(JOIN folders " " build_order)
    list(APPEND breaches "docs/ARCHITECTURE.md's table has the folders in the order ${table_order}, \
the build (TESSARY_FOLDERS) in the order ${build_order}")
  endif()
endif()

function(is_toolkit_free relative out)
  string(REGEX MATCH "^[^/]+" folder "${relative}")
  if(folder IN_LIST toolkit_free_folders)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

file(GLOB top_folders LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
foreach(folder ${top_folders})
  if(IS_DIRECTORY ${ROOT}/${folder} AND EXISTS ${ROOT}/${folder}/CMakeLists.txt AND NOT folder MATCHES "^(tests|bench)$"
     AND NOT folder IN_LIST layers)
    list(APPEND breaches "${folder}/: a product folder without its row in docs/ARCHITECTURE.md's table")
  endif()
endforeach()

foreach(folder ${layers})
  list(FIND layers ${folder} own_level)
  file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.hpp ${ROOT}/${folder}/*.cpp
       ${ROOT}/${folder}/*.cc ${ROOT}/${folder}/*.inc)
  foreach(source ${sources})
    is_toolkit_free(${source} source_free)
    file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
      if(NOT line MATCHES "#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      set(included ${CMAKE_MATCH_1})
      if(source_free AND included MATCHES "${toolkit_header_regex}")
        list(APPEND breaches "${source}: includes <${included}>, a toolkit header in a file that must build without the toolkit")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+" included_folder "${included}")
      if(NOT included MATCHES "/" OR NOT included_folder IN_LIST layers)
        continue()
      endif()
      list(FIND layers ${included_folder} included_level)
      if(included_level GREATER own_level)
        list(APPEND breaches "${source}: includes \"${included}\", from ${included_folder}/, a layer above ${folder}/ (a later row of docs/ARCHITECTURE.md)")
      elseif(source_free)
        is_toolkit_free(${included} included_free)
        if(NOT included_free)
          list(APPEND breaches "${source}: includes \"${included}\", a toolkit part, in a file that must build without the toolkit")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(breaches)
  list(JOIN breaches "\n  " text)
  message(FATAL_ERROR "layer rule broken:\n  ${text}")
endif()

# The house style over the source tree: every C++ file of the product, the tests and the benchmarks
# is as .clang-format makes it.
#   cmake -DROOT=<source dir> -DCLANG_FORMAT=<program> -P check_format.cmake          names each file that is not
#   cmake -DROOT=<source dir> -DCLANG_FORMAT=<program> -DFIX=ON -P check_format.cmake formats them (scripts/format.sh)
# The layout differs a little between clang-format's major versions, so another major version than
# the one the tree is kept with only says so (CTest counts that as skipped).
cmake_minimum_required(VERSION 3.25)
set(kept_major 14)
set(folders app authoring comm common document ecuserver platform prog protect res view tests bench)

if(NOT ROOT OR NOT CLANG_FORMAT)
  message(FATAL_ERROR "check_format.cmake: pass -DROOT=<source dir> -DCLANG_FORMAT=<program>")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --version OUTPUT_VARIABLE version_text)
string(REGEX MATCH "version ([0-9]+)" _ "${version_text}")
if(NOT CMAKE_MATCH_1 STREQUAL kept_major)
  message("format rule skipped: ${CLANG_FORMAT} is version ${CMAKE_MATCH_1}; the tree is kept with ${kept_major}")
  return()
endif()

set(files)
foreach(folder ${folders})
  file(GLOB_RECURSE found ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.inc)
  list(APPEND files ${found})
endforeach()
list(SORT files)

if(FIX)
  execute_process(COMMAND ${CLANG_FORMAT} -i ${files} COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()

# One run over all files; each place that differs is reported as "<file>:<line>:<col>: error: ...".
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files} RESULT_VARIABLE result ERROR_VARIABLE report)
if(NOT result EQUAL 0)
  string(REGEX MATCHALL "[^\n]+:[0-9]+:[0-9]+: error:" places "${report}")
  set(unformatted)
  foreach(place ${places})
    string(REGEX REPLACE ":[0-9]+:[0-9]+: error:$" "" file "${place}")
    file(RELATIVE_PATH shown ${ROOT} ${file})
    list(APPEND unformatted ${shown})
  endforeach()
  list(REMOVE_DUPLICATES unformatted)
  list(JOIN unformatted "\n  " shown)
  message(FATAL_ERROR "not as .clang-format makes them (scripts/format.sh formats them):\n  ${shown}")
endif()

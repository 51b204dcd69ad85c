# cmake -DRUN_DEMO=... -DBIMHOST=... -DEMULATOR=... -DSAMPLES_DIR=... -P RunDemo.cmake
# Runs the two-step demo with a host that needs an emulator, prints what it
# printed and fails unless both summaries say what they say on the build
# machine's own system.
cmake_minimum_required(VERSION 3.16)

set(ENV{BIMCORE_EMULATOR} "${EMULATOR}")
execute_process(COMMAND bash "${RUN_DEMO}" "${BIMHOST}" "${SAMPLES_DIR}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "the demo failed (${status})")
endif()

string(FIND "${out}" "== 2." second)
if(second LESS 0)
  message(FATAL_ERROR "the demo has no second run")
endif()
string(SUBSTRING "${out}" 0 ${second} first_run)
string(SUBSTRING "${out}" ${second} -1 second_run)
# Runs of blanks and line breaks count as one blank, as the summary wraps.
foreach(run first_run second_run)
  string(REGEX REPLACE "[ \r\n]+" " " ${run} "${${run}}")
endforeach()
set(first_fragments
  "100% Project files are up to date"
  "opened fetched from the central service (no local copy yet)"
  "workspace 8c1f7d2a-3b5e-4f60-9a71-2d4c6e8b0f13" "element 424," "element_property 848,"
  "101 Wall," "Fire protection" "changes none rebuild model no")
set(second_fragments
  "from the local copy, then updated through the central service" "element 428," "issue 11,"
  "changes element 18 (8 added, 6 changed, 4 removed), material 2 (1 added, 1 changed), model_file_revision 1 (1 added), segment 1 (1 changed) rebuild model yes")
foreach(run first second)
  foreach(fragment IN LISTS ${run}_fragments)
    string(FIND "${${run}_run}" "${fragment}" at)
    if(at LESS 0)
      message(FATAL_ERROR "the ${run} run does not say: ${fragment}")
    endif()
  endforeach()
endforeach()

# Installs the build into a private prefix, builds the demo host on its own
# against the installed package, exactly as an outside host project would, and
# runs the demo with that host: a host that reaches into the library's private
# headers or targets fails here.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DHOST_SOURCE=... -DRUN_DEMO=...
#         -DSAMPLES_DIR=... -DCXX_COMPILER=... [-DCXX_FLAGS=...] [-DBUILD_TYPE=...]
#         -P BuildHostAgainstInstall.cmake
cmake_minimum_required(VERSION 3.16)

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
  set(step_error "${err}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step("installing" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
run_step("configuring the host" "${CMAKE_COMMAND}"
  -S "${HOST_SOURCE}" -B "${WORK_DIR}/build"
  "-DCMAKE_PREFIX_PATH=${prefix}"
  "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS} -Werror"
  "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}")
run_step("building the host" "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
run_step("the demo with the installed host" bash "${RUN_DEMO}" "${WORK_DIR}/build/bimhost" "${SAMPLES_DIR}")
foreach(expected "changes        none" "element 18 \\(8 added, 6 changed, 4 removed\\)" "rebuild model  yes")
  if(NOT step_output MATCHES "${expected}")
    message(FATAL_ERROR "the installed host's demo lacks \"${expected}\":\n${step_output}\n${step_error}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")

# Installs the build into a private prefix, builds the demo host on its own
# against the installed package, exactly as an outside host project would, and
# runs the demo with that host: a host that reaches into the library's private
# headers or targets fails here.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DHOST_SOURCE=... -DRUN_DEMO=...
#         -DSAMPLES_DIR=... -DCXX_COMPILER=... [-DCXX_FLAGS=...] [-DBUILD_TYPE=...]
#         -P BuildHostAgainstInstall.cmake
cmake_minimum_required(VERSION 3.16)

include("${CMAKE_CURRENT_LIST_DIR}/../common/HostBuild.cmake")

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step("installing" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
build_host("${prefix}" "${CXX_FLAGS} -Werror")
run_step("the demo with the installed host" bash "${RUN_DEMO}" "${WORK_DIR}/build/bimcore-host" "${SAMPLES_DIR}")
foreach(expected "changes        none" "element 18 \\(8 added, 6 changed, 4 removed\\)" "rebuild model  yes")
  if(NOT step_output MATCHES "${expected}")
    message(FATAL_ERROR "the installed host's demo lacks \"${expected}\":\n${step_output}\n${step_error}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")

# cmake -DBUILD_DIR=... -DWORK_DIR=... -DHOST_SOURCE=... -DCXX_COMPILER=...
#       [-DCXX_FLAGS=...] [-DBUILD_TYPE=...] -P InstallAndBuildHost.cmake
cmake_minimum_required(VERSION 3.16)

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step("install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")

foreach(header
    include/bimcore/core/Global.h
    include/bimcore/core/BIMException.h
    include/bimcore/core/Singleton.h
    include/bimcore/core/bimcore_export.h
    include/bimcore/storage/FileHandler.h
    include/bimcore/platform/krvcommon/FileSystem.h
    include/bimcore/platform/krvcommon/krvcommon_export.h)
  if(NOT EXISTS "${prefix}/${header}")
    message(FATAL_ERROR "not installed: ${header}")
  endif()
endforeach()

run_step("configuring the host" "${CMAKE_COMMAND}"
  -S "${HOST_SOURCE}" -B "${WORK_DIR}/build"
  "-DCMAKE_PREFIX_PATH=${prefix}"
  "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}")
run_step("building the host" "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
run_step("running the host" "${WORK_DIR}/build/host" "--userID=host-user" "--token=t")
message("${step_output}")
if(NOT step_output MATCHES "host ok")
  message(FATAL_ERROR "the host did not report success")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

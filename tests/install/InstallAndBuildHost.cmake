# cmake -DBUILD_DIR=... -DWORK_DIR=... -DHOST_SOURCE=... -DCXX_COMPILER=...
#       [-DCXX_FLAGS=...] [-DBUILD_TYPE=...] -P InstallAndBuildHost.cmake
cmake_minimum_required(VERSION 3.16)

include("${CMAKE_CURRENT_LIST_DIR}/../common/HostBuild.cmake")

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

build_host("${prefix}" "${CXX_FLAGS}")
run_step("running the host" "${WORK_DIR}/build/host" "--userID=host-user" "--token=t")
message("${step_output}")
if(NOT step_output MATCHES "host ok")
  message(FATAL_ERROR "the host did not report success")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

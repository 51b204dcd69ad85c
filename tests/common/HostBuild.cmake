# Steps shared by the script tests that install the build into a private
# prefix and build a host project against it, as an outside project would.
# They read HOST_SOURCE, WORK_DIR, CXX_COMPILER and BUILD_TYPE as the calling
# script was given them.

# Runs a command; stops the script with its output when it fails, and leaves
# its output in step_output and step_error otherwise.
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
  set(step_error "${err}" PARENT_SCOPE)
endfunction()

# Configures and builds HOST_SOURCE into WORK_DIR/build against the package
# installed in prefix; further arguments go to the host's configure step.
function(build_host prefix cxx_flags)
  run_step("configuring the host" "${CMAKE_COMMAND}"
    -S "${HOST_SOURCE}" -B "${WORK_DIR}/build"
    "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_CXX_FLAGS=${cxx_flags}"
    "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
    ${ARGN})
  run_step("building the host" "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
endfunction()

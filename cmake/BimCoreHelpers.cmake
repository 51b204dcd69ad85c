# Shared building blocks for every target of the project.

function(bimcore_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(BIMCORE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# The one include root of the project: every header is reached as
# <bimcore/core/Global.h>, <bimcore/platform/tessel/TesselModel.h> ..., in the
# build tree as once installed. In the build tree the root holds a forwarding
# header for each source header (the folders stay where they are) beside the
# generated export and version headers.
#   bimcore_forward_headers(<source folder> <folder under bimcore/>)
function(bimcore_forward_headers source_dir dest)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE "${source_dir}" "${source_dir}/*.h")
  foreach(header ${headers})
    file(CONFIGURE OUTPUT "${BIMCORE_INCLUDE_ROOT}/bimcore/${dest}/${header}"
      CONTENT "#include \"${source_dir}/${header}\"\n")
  endforeach()
endfunction()

# Every library of the project (the core and the platform stand-ins) is a
# shared library with hidden symbols and a generated export header that lands
# in the include root as <bimcore/<HEADER_DEST>/<basename>_export.h>, where it
# is also installed. The stand-ins are the package's own: their files carry
# the package's prefix (libbimcore-tessel.so), so that they never pass for the
# platform's real libraries in a shared library folder.
#
#   bimcore_add_library(<target> HEADER_DEST <dir>
#                       EXPORT_BASE <name> [SOURCES ...]
#                       [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# The export header goes where HEADER_DEST says, in the build tree as installed.
function(bimcore_add_library target)
  cmake_parse_arguments(ARG "" "HEADER_DEST;EXPORT_BASE" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  add_library(BimCore::${target} ALIAS ${target})
  set(export_file "${BIMCORE_INCLUDE_ROOT}/bimcore/${ARG_HEADER_DEST}/${ARG_EXPORT_BASE}_export.h")
  generate_export_header(${target} BASE_NAME ${ARG_EXPORT_BASE} EXPORT_FILE_NAME "${export_file}")
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${BIMCORE_INCLUDE_ROOT}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(NOT target STREQUAL "bimcore")
    set_target_properties(${target} PROPERTIES OUTPUT_NAME "bimcore-${target}")
  endif()
  if(ARG_PUBLIC_LIBS)
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS})
  endif()
  if(ARG_PRIVATE_LIBS)
    target_link_libraries(${target} PRIVATE ${ARG_PRIVATE_LIBS})
  endif()
  # Installed libraries find each other (private dependencies included) next
  # to themselves, whatever the host's own run path says.
  # The library's name carries the versions that may break the interface:
  # major.minor while the major version is 0, the major version from 1.0 on.
  if(PROJECT_VERSION_MAJOR EQUAL 0)
    set(soversion "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
  else()
    set(soversion "${PROJECT_VERSION_MAJOR}")
  endif()
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${soversion}
    INSTALL_RPATH "$ORIGIN")
  bimcore_warnings(${target})
  set_property(GLOBAL APPEND PROPERTY BIMCORE_INSTALLED_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY BIMCORE_GENERATED_HEADERS "${ARG_HEADER_DEST}|${export_file}")
endfunction()

# Installs the public headers of a library under include/bimcore/<dest>/.
# They make the API reference (docs/), where the library's own must be
# documented in full.
function(bimcore_install_headers dest)
  install(FILES ${ARGN} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bimcore/${dest})
  set(property BIMCORE_PUBLIC_HEADERS)
  if(dest MATCHES "^platform/")
    set(property BIMCORE_PLATFORM_HEADERS)
  endif()
  foreach(header ${ARGN})
    set_property(GLOBAL APPEND PROPERTY ${property} "${CMAKE_CURRENT_SOURCE_DIR}/${header}")
    # Where it is installed, for the reference's include lines.
    set_property(GLOBAL APPEND PROPERTY BIMCORE_HEADER_DESTS
      "${dest}|${CMAKE_CURRENT_SOURCE_DIR}/${header}")
  endforeach()
endfunction()

# Installs a program of the project with the other programs of the package.
# It finds the project's libraries through a run path relative to itself, so
# that the installed tree works wherever it is put (cmake --install --prefix),
# with no LD_LIBRARY_PATH.
function(bimcore_install_program target)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
    # One of the two does not move with the prefix, so no relative path
    # between them holds for every prefix.
    set(rpath "${CMAKE_INSTALL_FULL_LIBDIR}")
  else()
    file(RELATIVE_PATH libdir "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
    set(rpath "$ORIGIN/${libdir}")
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${rpath}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# One QtTest program registered with ctest.
#   bimcore_add_test(<name> SOURCES ... [LIBS ...] [GUI] [TIMEOUT seconds])
# GUI tests run on the offscreen platform so that no display is needed.
function(bimcore_add_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/common")
  bimcore_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set(env "QT_QPA_PLATFORM=offscreen")
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  if(ARG_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endif()
endfunction()

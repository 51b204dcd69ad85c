# Installs the libraries and headers as the CMake package "BimCore":
#   find_package(BimCore REQUIRED)
#   target_link_libraries(host PRIVATE BimCore::BimCore)
include(CMakePackageConfigHelpers)

get_property(installed_targets GLOBAL PROPERTY BIMCORE_INSTALLED_TARGETS)
get_property(generated_headers GLOBAL PROPERTY BIMCORE_GENERATED_HEADERS)

foreach(entry ${generated_headers})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 subdir)
  list(GET parts 1 header)
  install(FILES "${header}" DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bimcore/${subdir})
endforeach()

install(TARGETS ${installed_targets}
  EXPORT BimCoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${BIMCORE_INCLUDE_ROOT}/bimcore/core/Version.h"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bimcore/core)

install(EXPORT BimCoreTargets
  NAMESPACE BimCore::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BimCore)

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/BimCoreConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/BimCoreConfig.cmake"
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BimCore)
# The README's policy: 0.x versions are compatible within one minor version,
# from 1.0 on within one major version.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(compatibility SameMinorVersion)
else()
  set(compatibility SameMajorVersion)
endif()
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/BimCoreConfigVersion.cmake"
  COMPATIBILITY ${compatibility})
install(FILES
  "${PROJECT_BINARY_DIR}/BimCoreConfig.cmake"
  "${PROJECT_BINARY_DIR}/BimCoreConfigVersion.cmake"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BimCore)

# pkg-config, for hosts built with qmake or plain make:
#   pkg-config --cflags --libs bimcore
# The stand-ins are named as well, since a host calls their inline handles.
# The file finds the prefix relative to itself, so the installed tree can move.
set(BIMCORE_PC_STANDIN_LIBS "")
foreach(target ${installed_targets})
  if(NOT target STREQUAL "bimcore")
    string(APPEND BIMCORE_PC_STANDIN_LIBS " -lbimcore-${target}")
  endif()
endforeach()
string(STRIP "${BIMCORE_PC_STANDIN_LIBS}" BIMCORE_PC_STANDIN_LIBS)
file(RELATIVE_PATH BIMCORE_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" BIMCORE_PC_TO_PREFIX "${BIMCORE_PC_TO_PREFIX}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/bimcore.pc.in" "${PROJECT_BINARY_DIR}/bimcore.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/bimcore.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The licence and the changelog go with every install; the API reference
# joins them when it was built (docs/).
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/bimcore COMPONENT doc)

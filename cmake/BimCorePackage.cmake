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
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bimcore
                       ${CMAKE_INSTALL_INCLUDEDIR}/bimcore/platform)

install(EXPORT BimCoreTargets
  NAMESPACE BimCore::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BimCore)

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/BimCoreConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/BimCoreConfig.cmake"
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BimCore)
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/BimCoreConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/BimCoreConfig.cmake"
  "${PROJECT_BINARY_DIR}/BimCoreConfigVersion.cmake"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/BimCore)

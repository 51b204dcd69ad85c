# cmake -DBUILD_DIR=... -DWORK_DIR=... -DHOST_SOURCE=... -DCXX_COMPILER=...
#       -DINSTALL_BINDIR=... -DINSTALL_INCLUDEDIR=... [-DWITH_TESSEL=ON]
#       [-DCXX_FLAGS=...] [-DBUILD_TYPE=...] -P InstallAndBuildHost.cmake
cmake_minimum_required(VERSION 3.16)

include("${CMAKE_CURRENT_LIST_DIR}/../common/HostBuild.cmake")

set(prefix "${WORK_DIR}/prefix")
set(include_root "${prefix}/${INSTALL_INCLUDEDIR}/bimcore")
set(libdir "${prefix}/${INSTALL_LIBDIR}")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step("install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")

# The host below includes the core, storage and project headers by their
# installed names; these the host does not reach.
foreach(header platform/krvcommon/FileSystem.h platform/krvcommon/krvcommon_export.h)
  if(NOT EXISTS "${include_root}/${header}")
    message(FATAL_ERROR "not installed: ${header}")
  endif()
endforeach()

# The stand-ins are the package's own, never a generic libtessel.so beside
# everything else in the prefix's library folder.
file(GLOB libraries RELATIVE "${libdir}" "${libdir}/lib*.so")
foreach(library ${libraries})
  if(NOT library MATCHES "^libbimcore(-[a-z]+)?\\.so$")
    message(FATAL_ERROR "${library} installed without the package's prefix")
  endif()
endforeach()

# The installed programs must find their libraries in the prefix by
# themselves: the caller's LD_LIBRARY_PATH could point at the build tree and
# hide a missing run path.
set(bare_env "${CMAKE_COMMAND}" -E env --unset=LD_LIBRARY_PATH)

if(WITH_TESSEL)
  # Installed under the package's prefix, as the libraries are.
  set(tessel "${prefix}/${INSTALL_BINDIR}/bimcore-tessel")

  # A run path into the build tree, or a copy of the libraries installed
  # elsewhere on the machine, would let the tool run while the prefix alone
  # would not; so the loader must pick every library the prefix has from there.
  file(GLOB_RECURSE prefix_files LIST_DIRECTORIES false "${prefix}/*.so*")
  set(prefix_libraries "")
  foreach(file ${prefix_files})
    get_filename_component(name "${file}" NAME)
    list(APPEND prefix_libraries "${name}")
  endforeach()
  run_step("listing the libraries of the installed tessel tool"
    ${bare_env} LD_TRACE_LOADED_OBJECTS=1 "${tessel}")
  string(REPLACE "\n" ";" loaded "${step_output}")
  set(from_prefix 0)
  foreach(line ${loaded})
    if(line MATCHES "not found")
      message(FATAL_ERROR "the installed tessel tool misses a library:\n${step_output}")
    endif()
    if(line MATCHES "^[ \t]*([^ \t]+) => ([^ \t]+)")
      list(FIND prefix_libraries "${CMAKE_MATCH_1}" index)
      if(NOT index EQUAL -1)
        string(FIND "${CMAKE_MATCH_2}" "${prefix}/" at)
        if(NOT at EQUAL 0)
          message(FATAL_ERROR "the installed tessel tool loads ${CMAKE_MATCH_1} from outside its prefix:\n${step_output}")
        endif()
        math(EXPR from_prefix "${from_prefix} + 1")
      endif()
    endif()
  endforeach()
  if(from_prefix EQUAL 0)
    message(FATAL_ERROR "the installed tessel tool loads none of the prefix's libraries:\n${step_output}")
  endif()

  set(generated "${WORK_DIR}/generated-project")
  run_step("the installed tessel tool generating a project"
    ${bare_env} "${tessel}" gen --records 10 --tables 3 "${generated}")
  foreach(file KBMProjectTemplate.Tessel KBMProjectTemplate.db)
    if(NOT EXISTS "${generated}/${file}")
      message(FATAL_ERROR "the installed tessel tool wrote no ${file}")
    endif()
  endforeach()
  run_step("the installed tessel tool dumping the generated model"
    ${bare_env} "${tessel}" dump "${generated}/KBMProjectTemplate.Tessel")
  foreach(table project element_type specialty)
    if(NOT step_output MATCHES "\"name\": \"${table}\"")
      message(FATAL_ERROR "the dumped model has no table ${table}:\n${step_output}")
    endif()
  endforeach()
endif()

# The demo host installs as the administrator's tool, runnable from the prefix.
if(WITH_HOST)
  run_step("the installed bimcore-host" ${bare_env} "${prefix}/${INSTALL_BINDIR}/bimcore-host" --version)
  if(NOT step_output STREQUAL "bimcore-host ${VERSION}\n")
    message(FATAL_ERROR "the installed bimcore-host says: ${step_output}")
  endif()
endif()

# The licence and the changelog go with every install.
set(docdir "${prefix}/${INSTALL_DATAROOTDIR}/doc/bimcore")
foreach(file LICENSE CHANGELOG.md)
  if(NOT EXISTS "${docdir}/${file}")
    message(FATAL_ERROR "not installed: ${docdir}/${file}")
  endif()
endforeach()
# The API reference, its HTML and its Qt help file, as far as the build made them.
if(WITH_DOCS)
  foreach(file html/index.html html/classbimcore_1_1Project.html bimcore.qch)
    if(EXISTS "${BUILD_DIR}/docs/${file}" AND NOT EXISTS "${docdir}/${file}")
      message(FATAL_ERROR "the reference was built but not installed: ${docdir}/${file}")
    endif()
  endforeach()
endif()

# One source including every installed header, by the name a host writes: a
# header that needs anything the prefix lacks stops the host's build.
file(GLOB_RECURSE installed_headers LIST_DIRECTORIES false RELATIVE "${include_root}"
  "${include_root}/*.h")
list(SORT installed_headers)
list(FIND installed_headers "core/Global.h" index)
if(index EQUAL -1)
  message(FATAL_ERROR "found no installed headers under ${include_root}")
endif()
set(all_headers "${WORK_DIR}/all_headers.cpp")
set(text "")
foreach(header ${installed_headers})
  string(APPEND text "#include <bimcore/${header}>\n")
endforeach()
file(WRITE "${all_headers}" "${text}")

build_host("${prefix}" "${CXX_FLAGS}" "-DALL_HEADERS_SOURCE=${all_headers}"
  "-DBIMCORE_VERSION=${VERSION}" "-DMAIN_ROAD_SOURCE=${MAIN_ROAD_SOURCE}")
run_step("running the host" ${bare_env} "${WORK_DIR}/build/host" "--userID=host-user" "--token=t")
message("${step_output}")
if(NOT step_output MATCHES "host ok: host ${VERSION} ${VERSION_HEX} 6")
  message(FATAL_ERROR "the host did not report success")
endif()

# The same host built with no CMake at all, from pkg-config's flags alone.
set(ENV{PKG_CONFIG_PATH} "${libdir}/pkgconfig")
run_step("pkg-config" pkg-config --cflags --libs bimcore)
string(STRIP "${step_output}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
run_step("building the host with pkg-config's flags" "${CXX_COMPILER}" -std=c++17 -fPIC
  ${cxx_flags} "-I${HOST_SOURCE}/own" "${HOST_SOURCE}/main.cpp" -o "${WORK_DIR}/pc-host" ${pc_flags})
run_step("running the pkg-config host" "${CMAKE_COMMAND}" -E env "LD_LIBRARY_PATH=${libdir}"
  "${WORK_DIR}/pc-host" "--userID=host-user" "--token=t")
if(NOT step_output MATCHES "host ok: host ${VERSION} ${VERSION_HEX} 6")
  message(FATAL_ERROR "the pkg-config host did not report success:\n${step_output}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

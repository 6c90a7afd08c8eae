# What `cmake --install` puts where, and the Debian packages built from it
# (cpack in the build folder). Paths are relative to the install prefix; the
# packages use /usr.
#
# Components, one per Debian package:
#   runtime      libvktcom.so.1 and the udev rule              -> libvktcom1
#   development  headers, libvktcom.so, vktcom.pc, CMake files -> libvktcom-dev
#   tools        vkt, vktsim, their man pages                  -> vkt
#   python       the Python package vktcom                     -> python3-vktcom
# Each package carries the README, LICENSE, copyright and changelog in
# share/doc/<its name>.
#
# Files that may be absent from a checkout (the second header, the man pages)
# are installed when they exist.

# The library goes into the multiarch folder (lib/x86_64-linux-gnu) wherever
# the compiler names one, as Debian's libraries do: for the packages (prefix
# /usr) and for `cmake --install` into /usr/local alike, both of which the
# loader, pkg-config and find_package search on Debian. GNUInstallDirs
# chooses it only for the prefix /usr, known when configuring; the packages
# take their prefix later, from CPack. (A build folder configured before
# keeps GNUInstallDirs' plain "lib" in its cache, which is moved too.)
get_property(libdir_help CACHE CMAKE_INSTALL_LIBDIR PROPERTY HELPSTRING)
if(CMAKE_INSTALL_LIBDIR STREQUAL "lib" AND libdir_help STREQUAL "Object code libraries (lib)")
  unset(CMAKE_INSTALL_LIBDIR CACHE)
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CMAKE_INSTALL_LIBDIR)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}
      CACHE PATH "Object code libraries (lib/<multiarch triplet>)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# vktcom_gzip(<file> <file.gz>): a build rule that compresses a document as
# Debian keeps man pages and changelogs (gzip -9n: no name or time stamp, so
# every build gives the same bytes).
find_program(VKTCOM_GZIP gzip)
function(vktcom_gzip input output)
  if(NOT VKTCOM_GZIP)
    message(FATAL_ERROR "gzip is needed to compress ${input}")
  endif()
  get_filename_component(folder ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$0\" -9 -n -c \"$1\" > \"$2\"" ${VKTCOM_GZIP} ${input} ${output}
    DEPENDS ${input}
    COMMENT "Compressing ${input}"
    VERBATIM)
endfunction()

# The shared library carries its ABI version in its name: libvktcom.so.1 (the
# soname a host loads), the real file libvktcom.so.<version> and the development
# link libvktcom.so. The Windows module keeps the one name hosts load,
# vktcom.dll.
if(NOT WIN32)
  set_target_properties(vktcom PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

# Installed programs find the library through the loader's search path, never
# through the build folder.
set(CMAKE_SKIP_INSTALL_RPATH ON)

# (An earlier build folder's lib/cmake/vktcom moves with the library.)
if(VKTCOM_INSTALL_CMAKEDIR STREQUAL "lib/cmake/vktcom" AND NOT CMAKE_INSTALL_LIBDIR STREQUAL "lib")
  unset(VKTCOM_INSTALL_CMAKEDIR CACHE)
endif()
set(VKTCOM_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vktcom
    CACHE STRING "Where the CMake package files go, relative to the prefix")
set(VKTCOM_INSTALL_UDEVDIR lib/udev/rules.d
    CACHE STRING "Where the udev rule goes, relative to the prefix")
set(VKTCOM_INSTALL_PYTHONDIR lib/python3/dist-packages
    CACHE STRING "Where the Python package goes, relative to the prefix")
# The package that holds each component (and names its document folder).
set(VKTCOM_PACKAGE_runtime libvktcom${PROJECT_VERSION_MAJOR})
set(VKTCOM_PACKAGE_development libvktcom-dev)
set(VKTCOM_PACKAGE_tools vkt)
set(VKTCOM_PACKAGE_python python3-vktcom)

# ---- the library ----
install(TARGETS vktcom EXPORT vktcomTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(NOT WIN32)
  install(TARGETS vktcom
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development NAMELINK_ONLY)
endif()

set(VKTCOM_HEADERS ${CMAKE_SOURCE_DIR}/include/vktcom.h)
if(EXISTS ${CMAKE_SOURCE_DIR}/include/vktcom_ext.h)
  list(APPEND VKTCOM_HEADERS ${CMAKE_SOURCE_DIR}/include/vktcom_ext.h)
endif()
install(FILES ${VKTCOM_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# pkg-config: the file names the prefix the files are installed under, which
# is known only when installing (`cmake --install --prefix`, /usr in the
# packages), so it is written then. pkg-config's --define-prefix relocates an
# unpacked tree.
set(VKTCOM_PC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/vktcom.pc.in)
set(VKTCOM_PC_FILE ${CMAKE_BINARY_DIR}/install/vktcom.pc)
install(CODE "
  set(VKTCOM_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(VKTCOM_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VKTCOM_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${VKTCOM_PC_TEMPLATE}\" \"${VKTCOM_PC_FILE}\" @ONLY)
  " COMPONENT development)
install(FILES ${VKTCOM_PC_FILE}
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# CMake: find_package(vktcom) gives the imported target vktcom::vktcom.
install(EXPORT vktcomTargets NAMESPACE vktcom::
  DESTINATION ${VKTCOM_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vktcomConfig.cmake.in
  ${CMAKE_BINARY_DIR}/vktcomConfig.cmake
  INSTALL_DESTINATION ${VKTCOM_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vktcomConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vktcomConfig.cmake ${CMAKE_BINARY_DIR}/vktcomConfigVersion.cmake
  DESTINATION ${VKTCOM_INSTALL_CMAKEDIR} COMPONENT development)

# ---- Linux: device rule, programs, man page, Python package ----
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(FILES ${CMAKE_SOURCE_DIR}/rules/70-vkt-logger.rules
    DESTINATION ${VKTCOM_INSTALL_UDEVDIR} COMPONENT runtime)

  foreach(program vkt vktsim)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    endif()
  endforeach()
  # The man pages go in compressed, as Debian has them.
  set(pages)
  foreach(page vkt.1 vktsim.1)
    if(EXISTS ${CMAKE_SOURCE_DIR}/docs/${page})
      vktcom_gzip(${CMAKE_SOURCE_DIR}/docs/${page} ${CMAKE_BINARY_DIR}/man/${page}.gz)
      list(APPEND pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
    endif()
  endforeach()
  if(pages)
    add_custom_target(vktcom_man_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  endif()

  option(VKTCOM_INSTALL_PYTHON "Install the Python package vktcom" ON)
  if(VKTCOM_INSTALL_PYTHON AND EXISTS ${CMAKE_SOURCE_DIR}/python/vktcom/__init__.py)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/vktcom
      DESTINATION ${VKTCOM_INSTALL_PYTHONDIR} COMPONENT python
      FILES_MATCHING PATTERN "*.py"
      PATTERN "__pycache__" EXCLUDE)
    # The package reads its version from the project's VERSION file.
    install(FILES ${CMAKE_SOURCE_DIR}/VERSION
      DESTINATION ${VKTCOM_INSTALL_PYTHONDIR}/vktcom COMPONENT python)
  endif()
endif()

# ---- documents ----
# Debian looks for the licence as share/doc/<package>/copyright (the
# changelog beside it comes with the packages, debian.cmake). The README's
# links into docs/ hold there too.
file(GLOB VKTCOM_DOCUMENTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
foreach(component runtime development tools python)
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${VKTCOM_PACKAGE_${component}})
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
    DESTINATION ${docdir} COMPONENT ${component})
  install(FILES ${VKTCOM_DOCUMENTS} DESTINATION ${docdir}/docs COMPONENT ${component})
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE RENAME copyright
    DESTINATION ${docdir} COMPONENT ${component})
endforeach()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(${CMAKE_CURRENT_LIST_DIR}/debian.cmake)
endif()

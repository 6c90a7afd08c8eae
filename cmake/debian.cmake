# The Debian packages, built by `cpack` in the build folder from the install
# components (see install.cmake). CPack's DEB generator packs the very files
# of the build that was tested, so the packages need no second build.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vktcom)
# The maintainer, in the packages' control files and their changelog.
set(VKTCOM_MAINTAINER "vktcom developers <vktcom-devel@example.org>"
    CACHE STRING "Maintainer of the Debian packages: name <address>")
set(CPACK_PACKAGE_VENDOR "vktcom developers")
set(CPACK_PACKAGE_CONTACT ${VKTCOM_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The packages hold no debugging information.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools python)
set(CPACK_COMPONENTS_GROUPING IGNORE)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VKTCOM_MAINTAINER})
# The four packages are built from one source, vktcom.
set(CPACK_DEBIAN_PACKAGE_SOURCE vktcom)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies on the C and C++ runtimes come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The runtime package announces its soname (a shlibs file).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# The changelog: cmake/changelog with the version of VERSION in its first
# entry, compressed. The packages are made by the project itself (a version without a
# Debian revision, "native" to Debian), whose changelog Debian keeps as
# share/doc/<package>/changelog.gz.
set(VKTCOM_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog ${VKTCOM_CHANGELOG} @ONLY)
vktcom_gzip(${VKTCOM_CHANGELOG} ${VKTCOM_CHANGELOG}.gz)
add_custom_target(vktcom_changelog ALL DEPENDS ${VKTCOM_CHANGELOG}.gz)
foreach(component runtime development tools python)
  install(FILES ${VKTCOM_CHANGELOG}.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VKTCOM_PACKAGE_${component}} COMPONENT ${component})
endforeach()

# Two things CPack 3.25 cannot express are done after packing, by
# debian-finish.cmake: the library and its development files are
# "Multi-Arch: same" (each of their files lies in the multiarch folder or is
# the same on every architecture, so the packages of two architectures
# install side by side), and the library package loses CPack's postinst and
# postrm, which only call ldconfig: dpkg runs ldconfig once after
# installing, through the package's trigger.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-finish.cmake)
set(CPACK_VKTCOM_MULTIARCH_SAME ${VKTCOM_PACKAGE_runtime} ${VKTCOM_PACKAGE_development})
set(CPACK_VKTCOM_NO_SCRIPTS ${VKTCOM_PACKAGE_runtime})

# Descriptions: the first line is the synopsis, the rest the long text.
set(vktcom_exact "${VKTCOM_PACKAGE_runtime} (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VKTCOM_PACKAGE_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# dpkg runs ldconfig once after installing, through its trigger.
configure_file(${CMAKE_CURRENT_LIST_DIR}/libvktcom.triggers ${CMAKE_BINARY_DIR}/debian-runtime/triggers COPYONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian-runtime/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "communication library for VKT data loggers
libvktcom.so.1 finds a VKT logger on its USB-serial adapter, connects at
19200 8N1, sets its clock, downloads its records and reads or changes its
recording settings. This package also holds the udev rule that gives the
logger's adapter a terminal device the logged-in user may open.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${VKTCOM_PACKAGE_development})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ${vktcom_exact})
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "communication library for VKT data loggers (development files)
The header vktcom.h, the link libvktcom.so, the pkg-config file vktcom.pc
and the CMake package (find_package(vktcom), target vktcom::vktcom).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${VKTCOM_PACKAGE_tools})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS ${vktcom_exact})
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line host and simulator for VKT data loggers
vkt lists ports, connects, sets the clock, downloads records as CSV or JSON,
sends commands and reads or changes the recording settings of a VKT logger
through libvktcom.so.1. vktsim plays a logger on a pseudo-terminal.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${VKTCOM_PACKAGE_python})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${vktcom_exact}, python3")
# The modules are compiled after installing and their caches removed before
# removing, as Debian's own Python packages do.
foreach(script postinst prerm)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/python3-vktcom.${script} ${CMAKE_BINARY_DIR}/debian-python/${script} COPYONLY)
  list(APPEND CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian-python/${script})
endforeach()
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib, vkt")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python access to VKT data loggers
import vktcom: a logger as a context manager, downloads as record objects
with real values, CSV rows, a pandas DataFrame or a plot, through
libvktcom.so.1.")

include(CPack)

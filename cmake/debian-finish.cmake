# Run by cpack after it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS)
# to add what its DEB generator cannot write: each package named in
# CPACK_VKTCOM_MULTIARCH_SAME gets the field "Multi-Arch: same", and each one
# named in CPACK_VKTCOM_NO_SCRIPTS loses the postinst and postrm that CPack
# writes for a library under /usr/lib (they only call ldconfig, which the
# package's trigger asks dpkg for). A package is unpacked with its control
# files and built again with dpkg-deb; its files and their md5sums stay as
# they were.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(package_file IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package_file MATCHES "\\.deb$")
    continue()
  endif()
  execute_process(COMMAND ${DPKG_DEB} --field ${package_file} Package
    OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(multiarch OFF)
  set(drop_scripts OFF)
  if(name IN_LIST CPACK_VKTCOM_MULTIARCH_SAME)
    set(multiarch ON)
  endif()
  if(name IN_LIST CPACK_VKTCOM_NO_SCRIPTS)
    set(drop_scripts ON)
  endif()
  if(NOT multiarch AND NOT drop_scripts)
    continue()
  endif()

  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/finish/${name})
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}/finish)
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${package_file} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  if(multiarch)
    file(READ ${tree}/DEBIAN/control control)
    if(NOT control MATCHES "(^|\n)Multi-Arch:")
      string(STRIP "${control}" control)
      file(WRITE ${tree}/DEBIAN/control "${control}\nMulti-Arch: same\n")
    endif()
  endif()
  if(drop_scripts)
    file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  endif()
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group --build ${tree} ${package_file}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()

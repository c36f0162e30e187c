# Included by CPack when it packages (through the generated
# DebianDepends.cmake of the build directory): computes each package's
# Depends from what its binaries link, with dpkg-shlibdeps, as Debian's own
# packages get them. The library of this build is not installed anywhere, so
# a local shlibs file tells dpkg-shlibdeps which package it comes from.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(ORVEL_SHLIBDEPS dpkg-shlibdeps)
if(NOT ORVEL_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps is missing (Debian: dpkg-dev); it computes the packages' Depends")
endif()

set(orvel_depends_work "${ORVEL_DEPENDS_WORK}")
file(REMOVE_RECURSE "${orvel_depends_work}")
file(MAKE_DIRECTORY "${orvel_depends_work}/debian")
file(WRITE "${orvel_depends_work}/debian/control" "")
string(REGEX MATCH "^[^ ]+" orvel_runtime_name "${ORVEL_DEPENDS_SAME_VERSION}")
string(REGEX MATCH "[0-9]+" orvel_major "${orvel_runtime_name}")
file(WRITE "${orvel_depends_work}/debian/shlibs.local"
     "libOrvelPacket ${orvel_major} ${ORVEL_DEPENDS_SAME_VERSION}\n")

# The Depends that dpkg-shlibdeps computes for `files`, in `out`.
function(orvel_shlib_depends out files)
  execute_process(
    COMMAND ${ORVEL_SHLIBDEPS} -O -l${ORVEL_DEPENDS_LIBRARY_DIR} ${files}
    WORKING_DIRECTORY "${orvel_depends_work}"
    OUTPUT_VARIABLE found ERROR_VARIABLE problems RESULT_VARIABLE status
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-shlibdeps failed on ${files}:\n${problems}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" found "${found}")
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

orvel_shlib_depends(depends "${ORVEL_DEPENDS_RUNTIME_FILES}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${depends}")
if(ORVEL_DEPENDS_TOOL_FILES)
  orvel_shlib_depends(depends "${ORVEL_DEPENDS_TOOL_FILES}")
  set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${depends}")
endif()
if(ORVEL_DEPENDS_PYTHON_FILES)
  orvel_shlib_depends(depends "${ORVEL_DEPENDS_PYTHON_FILES}")
  # The compiled module fits one minor version of the interpreter.
  execute_process(COMMAND ${ORVEL_DEPENDS_PYTHON} -c
                          "import sys; print('%d.%d %d.%d' % (sys.version_info[:2] + (sys.version_info[0], sys.version_info[1] + 1)))"
                  OUTPUT_VARIABLE versions OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(versions)
  list(GET versions 0 lowest)
  list(GET versions 1 above)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= ${lowest}~), python3 (<< ${above}), ${depends}")
endif()
file(REMOVE_RECURSE "${orvel_depends_work}")

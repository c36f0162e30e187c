# Debian packages: `cpack -G DEB` in the build directory writes
#   liborvelpacket1      the shared library (SONAME libOrvelPacket.so.1)
#   liborvelpacket-dev   headers, the unversioned link, pkg-config and CMake files
#   vrk                  the command-line tool, its man page and bash completion
#   python3-orvelpacket  the Python package (when the build has it)
# Split as Debian splits libraries, so that a program linked against the
# library needs only the small runtime package, and two major versions of
# the runtime can be installed side by side later. Packages meant for a
# Debian system come from a build configured with -DORVEL_DEBIAN=ON
# (scripts/package): /usr, the multiarch library directory, Debian's
# hardening flags and no RUNPATH; lintian passes those.
set(CPACK_PACKAGE_NAME orvelpacket)
set(CPACK_PACKAGE_VENDOR "OrvelPacket developers")
set(CPACK_PACKAGE_CONTACT "${ORVEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVEL_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVEL_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVEL_HOMEPAGE}")
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it before each
# package's own first line, which is that package's summary.
# Debian packages install under /usr whatever prefix the build was made for.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Packages carry stripped binaries, as Debian's do.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends of packages with programs are computed from what they link
# (cmake/DebianDepends.cmake at packaging time).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/DebianDepends.cmake)

set(orvel_runtime_package liborvelpacket${PROJECT_VERSION_MAJOR})
set(orvel_full_version "${PROJECT_VERSION}-${ORVEL_DEBIAN_REVISION}")
set(orvel_same_version "${orvel_runtime_package} (= ${orvel_full_version})")

set(CPACK_COMPONENTS_ALL Runtime Development)
set(orvel_packages Runtime:${orvel_runtime_package} Development:liborvelpacket-dev)
if(TARGET vrk)
  list(APPEND CPACK_COMPONENTS_ALL Tool)
  list(APPEND orvel_packages Tool:vrk)
endif()
if(TARGET orvelpacket_core AND ORVEL_DEBIAN)
  list(APPEND CPACK_COMPONENTS_ALL Python)
  list(APPEND orvel_packages Python:python3-orvelpacket)
endif()

# Every package carries the copyright file and the changelog in its own
# documentation directory, the changelog compressed as Debian keeps it.
configure_file(packaging/debian/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
set(ORVEL_DEBIAN_VERSION ${orvel_full_version})
configure_file(packaging/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND gzip -9nkf ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian VERBATIM)
add_custom_target(orvel_debian_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
foreach(pair ${orvel_packages})
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
                ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  configure_file(packaging/debian/lintian-overrides.in
                 ${CMAKE_CURRENT_BINARY_DIR}/debian/overrides/${package} @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/overrides/${package}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endforeach()

# The runtime package: the library, its shlibs and symbols files, and the
# ldconfig trigger (no maintainer scripts). CPack would write ldconfig calls
# into maintainer scripts whenever it looks at the package's shared objects,
# so it looks at none here: the shlibs file is written below and the
# dependencies are computed by DebianDepends.cmake.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${orvel_runtime_package})
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "archive library with fast lookup by name and patches\nThe shared library OrvelPacket: archive files that keep a host's data\nfiles, read any of them back by name, and carry changes as patches.")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/shlibs
     "libOrvelPacket ${PROJECT_VERSION_MAJOR} ${orvel_runtime_package} (>= ${PROJECT_VERSION})\n")
configure_file(packaging/debian/liborvelpacket1.symbols ${CMAKE_CURRENT_BINARY_DIR}/debian/symbols
               COPYONLY)
configure_file(packaging/debian/triggers ${CMAKE_CURRENT_BINARY_DIR}/debian/triggers COPYONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_BINARY_DIR}/debian/shlibs;${CMAKE_CURRENT_BINARY_DIR}/debian/symbols;${CMAKE_CURRENT_BINARY_DIR}/debian/triggers")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME liborvelpacket-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "archive library with fast lookup by name and patches (development files)\nHeaders, pkg-config file OrvelPacket.pc and CMake package OrvelPacket\nfor building hosts against the OrvelPacket library.")
# No installed header includes LZO, so hosts build against the library alone.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${orvel_same_version}")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME vrk)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
    "command-line archiver for OrvelPacket archives\nvrk creates, lists, checks, extracts, compacts and patches archives,\nand mounts them as directories (FUSE).")
if(TARGET vrk)
  get_target_property(vrk_links vrk LINK_LIBRARIES)
  if("PkgConfig::FUSE3" IN_LIST vrk_links)
    # vrk umount runs fusermount3.
    set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS fuse3)
  endif()
endif()

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-orvelpacket)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "archives of the OrvelPacket library from Python\nThe Python package orvelpacket: open, create, read, change, verify,\nsalvage and patch OrvelPacket archives from Python 3.")

# Read by DebianDepends.cmake at packaging time.
set(ORVEL_DEPENDS_RUNTIME_FILES "$<TARGET_FILE:OrvelPacket>")
set(ORVEL_DEPENDS_TOOL_FILES "")
set(ORVEL_DEPENDS_PYTHON_FILES "")
if(TARGET vrk)
  set(ORVEL_DEPENDS_TOOL_FILES "$<TARGET_FILE:vrk>")
endif()
if(TARGET orvelpacket_core)
  set(ORVEL_DEPENDS_PYTHON_FILES "$<TARGET_FILE:orvelpacket_core>")
endif()
set(ORVEL_DEPENDS_SAME_VERSION "${orvel_same_version}")
set(ORVEL_DEPENDS_LIBRARY_DIR "$<TARGET_FILE_DIR:OrvelPacket>")
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/DebianDepends.cmake
     CONTENT "set(ORVEL_DEPENDS_RUNTIME_FILES \"${ORVEL_DEPENDS_RUNTIME_FILES}\")
set(ORVEL_DEPENDS_TOOL_FILES \"${ORVEL_DEPENDS_TOOL_FILES}\")
set(ORVEL_DEPENDS_PYTHON_FILES \"${ORVEL_DEPENDS_PYTHON_FILES}\")
set(ORVEL_DEPENDS_SAME_VERSION \"${ORVEL_DEPENDS_SAME_VERSION}\")
set(ORVEL_DEPENDS_LIBRARY_DIR \"${ORVEL_DEPENDS_LIBRARY_DIR}\")
set(ORVEL_DEPENDS_PYTHON \"${ORVEL_PYTHON_EXECUTABLE}\")
set(ORVEL_DEPENDS_WORK \"${CMAKE_CURRENT_BINARY_DIR}/debian/depends\")
include(\"${CMAKE_CURRENT_SOURCE_DIR}/cmake/DebianDepends.cmake\")
")

include(CPack)

# Debian packages: `cpack -G DEB` in the build directory writes
#   liborvelpacket1      the shared library (SONAME libOrvelPacket.so.1)
#   liborvelpacket-dev   headers, the unversioned link, pkg-config and CMake files
#   vrk                  the command-line tool, its man page and bash completion
# Split as Debian splits libraries, so that a program linked against the
# library needs only the small runtime package, and two major versions of
# the runtime can be installed side by side later.
set(CPACK_PACKAGE_NAME orvelpacket)
set(CPACK_PACKAGE_VENDOR "OrvelPacket developers")
set(CPACK_PACKAGE_CONTACT "OrvelPacket developers <orvelpacket@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it before each
# package's own first line, which is that package's summary.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Packages carry stripped binaries, as Debian's do.
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENTS_ALL Runtime Development)
if(TARGET vrk)
  list(APPEND CPACK_COMPONENTS_ALL Tool)
endif()

set(orvel_runtime_package liborvelpacket${PROJECT_VERSION_MAJOR})
set(orvel_same_version "${orvel_runtime_package} (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${orvel_runtime_package})
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "archive library with fast lookup by name and patches\nThe shared library OrvelPacket: archive files that keep a host's data\nfiles, read any of them back by name, and carry changes as patches.")
# Explicit dependencies (what the library and vrk link), so that building
# the packages needs no dpkg-shlibdeps run over private libraries.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, liblzo2-2")
# A shlibs file and the ldconfig calls, as every library package has (only
# packages holding a shared library get them; needs `file` and readelf).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME liborvelpacket-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "archive library with fast lookup by name and patches (development files)\nHeaders, pkg-config file OrvelPacket.pc and CMake package OrvelPacket\nfor building hosts against the OrvelPacket library.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${orvel_same_version}, liblzo2-dev")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME vrk)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
    "command-line archiver for OrvelPacket archives\nvrk creates, lists, checks, extracts, compacts and patches archives,\nand mounts them as directories (FUSE).")
set(orvel_tool_depends "${orvel_same_version}, libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, liblzo2-2")
if(TARGET vrk)
  get_target_property(vrk_links vrk LINK_LIBRARIES)
  if("PkgConfig::FUSE3" IN_LIST vrk_links)
    # vrk mount links FUSE 3; vrk umount runs fusermount3.
    string(APPEND orvel_tool_depends ", libfuse3-3")
    set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS fuse3)
  endif()
endif()
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${orvel_tool_depends}")

include(CPack)

# The host SDK, installed by `cmake --install BUILD --prefix P`:
#   bin/btshell
#   lib/bt_shell/                 libbt_shell.so, bt_shell.ini, libmp.so
#   lib/bt_shell/kernels/<name>/  libbt_kernel.so of each kernel (bts_install_kernel)
#   lib/libbt_shell_com.a         the COM base functions the installed headers declare
#   include/bt_shell/             interfaces/ (module_entry.h: what a kernel module exports)
#                                 and the platform/ headers they include
#   lib/cmake/bt_shell/           the CMake package: bt_shell::interfaces, bt_shell_MODULE ...
#   lib/pkgconfig/bt_shell.pc
#   share/doc/bt_shell/           README.md and docs/
if(NOT TARGET bt_shell)
  return()
endif()
include(CMakePackageConfigHelpers)

set(BTS_KERNEL_VERSION "1.0" CACHE STRING "The kernel version the installed bt_shell.ini asks the host for (MAJOR.MINOR)")
set(BTS_INSTALL_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/bt_shell)
set(BTS_INSTALL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/bt_shell)

# The module, the memory-pool library it needs beside it, and its configuration.
set_target_properties(bt_shell PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS bt_shell mp LIBRARY DESTINATION ${BTS_INSTALL_MODULE_DIR})
configure_file(${CMAKE_SOURCE_DIR}/cmake/bt_shell.ini.in ${CMAKE_BINARY_DIR}/bt_shell.ini @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/bt_shell.ini DESTINATION ${BTS_INSTALL_MODULE_DIR})

# Headers, under the paths they have in this tree, so that they include each
# other unchanged.
file(GLOB interface_headers ${CMAKE_SOURCE_DIR}/interfaces/*.h)
install(FILES ${interface_headers} DESTINATION ${BTS_INSTALL_INCLUDE_DIR}/interfaces)
install(FILES platform/types.h platform/guid.h platform/unknwn.h platform/winerror.h platform/com_ptr.h
        DESTINATION ${BTS_INSTALL_INCLUDE_DIR}/platform)

# libbt_shell_com.a: GUID comparison and text forms, the last-error value.
# The module has its own copy and shows it to nobody; a host or a kernel
# links this one (hidden too, so a kernel module does not export it either).
add_library(bt_shell_com STATIC platform/guid.cpp platform/winerror.cpp)
set_target_properties(bt_shell_com PROPERTIES EXPORT_NAME com CXX_VISIBILITY_PRESET hidden)
bts_layer(bt_shell_com platform)
target_include_directories(bt_shell_com INTERFACE
                           $<INSTALL_INTERFACE:${BTS_INSTALL_INCLUDE_DIR}>)

# bt_shell::interfaces: the headers, libbt_shell_com.a and libdl (module_version.h).
add_library(bt_shell_interfaces INTERFACE)
set_target_properties(bt_shell_interfaces PROPERTIES EXPORT_NAME interfaces)
target_link_libraries(bt_shell_interfaces INTERFACE bt_shell_com ${CMAKE_DL_LIBS})
install(TARGETS bt_shell_interfaces bt_shell_com EXPORT bt_shellTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT bt_shellTargets NAMESPACE bt_shell:: DESTINATION ${BTS_INSTALL_CMAKE_DIR})

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/bt_shellConfig.cmake.in
  ${CMAKE_BINARY_DIR}/bt_shellConfig.cmake INSTALL_DESTINATION ${BTS_INSTALL_CMAKE_DIR}
  PATH_VARS BTS_INSTALL_MODULE_DIR BTS_INSTALL_KERNELS_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/bt_shellConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/bt_shellConfig.cmake ${CMAKE_BINARY_DIR}/bt_shellConfigVersion.cmake
        DESTINATION ${BTS_INSTALL_CMAKE_DIR})

# The pkg-config file finds the prefix from its own folder: the tree can move.
file(RELATIVE_PATH BTS_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" BTS_PC_TO_PREFIX "${BTS_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/bt_shell.pc.in ${CMAKE_BINARY_DIR}/bt_shell.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/bt_shell.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

file(GLOB docs ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES README.md ${docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Helpers shared by the project's CMake files.

set(BTS_FOLDER_LIBRARIES "")

# bts_folder_library(<folder> DEPS ...): every .cpp under <folder> (except the
# module's exported entry points, which live in files named *_exports.cpp)
# is compiled once into the object library bts_<folder>_obj, archived as the
# static library bts_<folder> (linked to the DEPS that exist); the objects
# also go into libbt_shell_core.a.
function(bts_folder_library folder)
  cmake_parse_arguments(F "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "_exports\\.cpp$")
  if(NOT srcs)
    return()
  endif()
  add_library(bts_${folder}_obj OBJECT ${srcs})
  target_include_directories(bts_${folder}_obj PUBLIC ${CMAKE_SOURCE_DIR})
  add_library(bts_${folder} STATIC $<TARGET_OBJECTS:bts_${folder}_obj>)
  target_include_directories(bts_${folder} PUBLIC ${CMAKE_SOURCE_DIR})
  foreach(dep IN LISTS F_DEPS)
    if(TARGET ${dep} OR NOT dep MATCHES "^bts_")
      target_link_libraries(bts_${folder}_obj PUBLIC ${dep})
      target_link_libraries(bts_${folder} PUBLIC ${dep})
    endif()
  endforeach()
  set(BTS_FOLDER_LIBRARIES ${BTS_FOLDER_LIBRARIES} bts_${folder} PARENT_SCOPE)
endfunction()

# bts_test(<name> LABEL <label> SOURCES ... LIBS ...): a GoogleTest binary
# registered with ctest through gtest_discover_tests.
function(bts_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} bts_test_support GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} DISCOVERY_TIMEOUT 60)
endfunction()

# Where the host SDK goes under the install prefix (cmake/install.cmake): the
# module with its bt_shell.ini and libmp.so in one folder, each kernel module
# in a folder of its own below it (a host's module downloader takes
# lib<name>.so from one folder, and every kernel is libbt_kernel.so).
set(BTS_INSTALL_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/bt_shell)
set(BTS_INSTALL_KERNELS_DIR ${BTS_INSTALL_MODULE_DIR}/kernels)

# The folders of the two kernel modules under kernels/.
set(BTS_KERNEL_FOLDER libtorrent)
set(BTS_RECORDING_KERNEL_FOLDER recording)

# bts_install_kernel(<target> <folder> [FILES ...]): installs the kernel module
# <target> into kernels/<folder>/, with FILES (its settings) beside it,
# finding libmp.so two folders up.
function(bts_install_kernel target folder)
  cmake_parse_arguments(K "" "" "FILES" ${ARGN})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../..")
  install(TARGETS ${target} LIBRARY DESTINATION ${BTS_INSTALL_KERNELS_DIR}/${folder})
  if(K_FILES)
    install(FILES ${K_FILES} DESTINATION ${BTS_INSTALL_KERNELS_DIR}/${folder})
  endif()
endfunction()

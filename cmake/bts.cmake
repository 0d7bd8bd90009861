# Helpers shared by the project's CMake files.

set(BTS_FOLDER_LIBRARIES "")

# The layers (cmake/layers.txt). For every folder F listed there, the build
# tree holds an include view <build>/layer_views/<F with / as _>/ in which
# only F itself appears (a link to the source folder), so that
# #include "F/x.h" resolves through that view alone. BTS_LAYER_<id> lists the
# folders F's code may include: its own and, transitively, those below it.
set(BTS_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layer_views)
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/layers.txt bts_layer_lines REGEX "^[^#].*:")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/layers.txt)
foreach(line IN LISTS bts_layer_lines)
  string(REGEX MATCH "^([^:]+):(.*)$" _ "${line}")
  string(STRIP "${CMAKE_MATCH_1}" folder)
  string(STRIP "${CMAKE_MATCH_2}" below)
  string(REPLACE "/" "_" id "${folder}")
  string(REGEX REPLACE "[ \t]+" ";" below "${below}")
  set(seen ${folder})
  foreach(lower IN LISTS below)
    string(REPLACE "/" "_" lower_id "${lower}")
    if(NOT DEFINED BTS_LAYER_${lower_id})
      message(FATAL_ERROR "cmake/layers.txt: ${folder} names ${lower}, which is not listed above it")
    endif()
    list(APPEND seen ${BTS_LAYER_${lower_id}})
  endforeach()
  list(REMOVE_DUPLICATES seen)
  set(BTS_LAYER_${id} ${seen})
  get_filename_component(parent "${BTS_LAYER_VIEWS}/${id}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${BTS_LAYER_VIEWS}/${id}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${BTS_LAYER_VIEWS}/${id}/${folder} SYMBOLIC)
  endif()
  # File names in log records and assertion texts stay relative to the
  # repository when a header is reached through a view.
  add_compile_options(-fmacro-prefix-map=${BTS_LAYER_VIEWS}/${id}/=)
endforeach()

# bts_layer(<target> <folder>): <target> holds code of <folder> and sees the
# include views of the folders that layer may include, and no other.
function(bts_layer target folder)
  string(REPLACE "/" "_" id "${folder}")
  if(NOT DEFINED BTS_LAYER_${id})
    message(FATAL_ERROR "${folder} is not a layer of cmake/layers.txt")
  endif()
  foreach(seen IN LISTS BTS_LAYER_${id})
    string(REPLACE "/" "_" seen_id "${seen}")
    target_include_directories(${target} PRIVATE ${BTS_LAYER_VIEWS}/${seen_id})
  endforeach()
endfunction()

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
  bts_layer(bts_${folder}_obj ${folder})
  add_library(bts_${folder} STATIC $<TARGET_OBJECTS:bts_${folder}_obj>)
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
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
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

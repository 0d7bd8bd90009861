# cmake -DSOURCE_DIR=<folder> -DOUTPUT=<file.cpp> -DHEADER=<include> -DNAMESPACE=<ns> -DFUNCTION=<name>
#       -P embed_files.cmake
# Writes a C++ source that holds every file of SOURCE_DIR (not its folders)
# as bytes, and defines `const std::vector<rpc::static_file>& NAMESPACE::FUNCTION()`
# listing them by name, in name order. The file is rewritten only when its
# text changes, so an unchanged page rebuilds nothing.
file(GLOB files LIST_DIRECTORIES false RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
list(SORT files)
set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS files)
  file(READ ${SOURCE_DIR}/${name} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A trailing NUL, not served, keeps an empty file's array legal.
  string(APPEND arrays "const unsigned char file${index}[] = {${bytes}0x00};\n")
  string(APPEND entries "      {\"${name}\", {reinterpret_cast<const char*>(file${index}), sizeof file${index} - 1}},\n")
  math(EXPR index "${index} + 1")
endforeach()
set(text "// Made by cmake/embed_files.cmake from ${SOURCE_DIR}: do not edit.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
namespace {
${arrays}}  // namespace

const std::vector<rpc::static_file>& ${FUNCTION}() {
  static const std::vector<rpc::static_file> files = {
${entries}  };
  return files;
}

}  // namespace ${NAMESPACE}
")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${text}")

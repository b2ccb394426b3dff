# Writes a C++ source that holds the bytes of files, so that the program
# carries them and needs nothing beside it at run time:
#   cmake -P embed_files.cmake OUTPUT FUNCTION FILE...
# defines `const std::vector<CEmbeddedFile>& FUNCTION()` (cli/preview.h) with
# one entry per file, named by the file's name without its folder.
if(CMAKE_ARGC LESS 6)
  message(FATAL_ERROR "usage: cmake -P embed_files.cmake OUTPUT FUNCTION FILE...")
endif()
set(output "${CMAKE_ARGV3}")
set(function "${CMAKE_ARGV4}")

string(REPEAT "[0-9a-f]" 32 row)
set(arrays "")
set(entries "")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 5 ${last})
  set(path "${CMAKE_ARGV${i}}")
  get_filename_component(name "${path}" NAME)
  file(READ "${path}" hex HEX)
  # Sixteen bytes a row, each as 0x.., then a terminating zero so that even an
  # empty file gives a valid array.
  string(REGEX REPLACE "(${row})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND arrays "const unsigned char kFile${i}[] = {\n${hex}0};\n")
  string(APPEND entries
    "      {\"${name}\", std::string_view(reinterpret_cast<const char*>(kFile${i}), "
    "sizeof kFile${i} - 1)},\n")
endforeach()

file(WRITE "${output}.tmp" "// Generated at build time by embed_files.cmake; do not edit.
#include \"cli/preview.h\"

namespace {
${arrays}}  // namespace

const std::vector<CEmbeddedFile>& ${function}() {
  static const std::vector<CEmbeddedFile> files = {
${entries}  };
  return files;
}
")
file(COPY_FILE "${output}.tmp" "${output}" ONLY_IF_DIFFERENT)
file(REMOVE "${output}.tmp")

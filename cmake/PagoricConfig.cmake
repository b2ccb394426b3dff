# Pagoric inside a firmware's CMake build. Use it with find_package(Pagoric)
# after installing Pagoric, or include() this file from a checkout (then set
# PAGORIC_EXECUTABLE to the pagoric program you built, or have it on the PATH).
#
#   pagoric_add_web(<target> PROJECT <file.web> [TARGET_DIR <dir>]
#                   [SERVER_HEADER <header>])
#
# Adds the C files that the project generates (the URL file, the binary data
# file and one file per page) to <target>. A custom command runs
# `pagoric build --yes` with a dependency file, so the build runs Pagoric again
# only when the project file or one of its source files changed; the page files
# are compiled with the server's header as a forced include (SERVER_HEADER,
# "hservapi.h" found on the target's include path by default). TARGET_DIR is
# where the files are generated (default: the project's own target directory).
#
# Which files a project generates is learned when CMake configures; CMake
# configures again by itself when the project file changes, so URLs added to the
# tree are picked up.

cmake_minimum_required(VERSION 3.20)

if(NOT PAGORIC_EXECUTABLE)
  find_program(PAGORIC_EXECUTABLE pagoric
               HINTS "${CMAKE_CURRENT_LIST_DIR}/../../../bin"
               DOC "The pagoric program")
endif()
if(NOT PAGORIC_EXECUTABLE)
  set(Pagoric_FOUND FALSE)
  set(Pagoric_NOT_FOUND_MESSAGE "the pagoric program was not found; set PAGORIC_EXECUTABLE")
  return()
endif()

# Splits a dependency file of `pagoric build --depfile` (one rule: the generated
# files, a colon, the files they depend on) into two lists.
function(_pagoric_read_depfile file out_targets out_inputs)
  file(READ "${file}" text)
  string(REPLACE "\\\n" " " text "${text}")
  string(REPLACE "\n" " " text "${text}")
  # Escaped blanks survive the split as a character no path holds.
  string(ASCII 1 blank)
  string(REPLACE "\\ " "${blank}" text "${text}")
  string(REPLACE "\\#" "#" text "${text}")
  string(REPLACE "$$" "$" text "${text}")
  string(FIND "${text}" ": " colon)
  if(colon LESS 0)
    message(FATAL_ERROR "pagoric_add_web: ${file} is no dependency file")
  endif()
  string(SUBSTRING "${text}" 0 ${colon} targets)
  math(EXPR rest "${colon} + 2")
  string(SUBSTRING "${text}" ${rest} -1 inputs)
  foreach(part targets inputs)
    string(STRIP "${${part}}" value)
    string(REGEX REPLACE " +" ";" value "${value}")
    string(REPLACE "${blank}" " " value "${value}")
    set(${part} "${value}")
  endforeach()
  set(${out_targets} "${targets}" PARENT_SCOPE)
  set(${out_inputs} "${inputs}" PARENT_SCOPE)
endfunction()

function(pagoric_add_web target)
  cmake_parse_arguments(PW "" "PROJECT;TARGET_DIR;SERVER_HEADER" "" ${ARGN})
  if(NOT PW_PROJECT)
    message(FATAL_ERROR "pagoric_add_web: PROJECT <file.web> is required")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "pagoric_add_web: ${target} is not a target")
  endif()
  get_filename_component(project "${PW_PROJECT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT PW_SERVER_HEADER)
    set(PW_SERVER_HEADER hservapi.h)
  endif()
  set(target_args "")
  if(PW_TARGET_DIR)
    get_filename_component(dir "${PW_TARGET_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    set(target_args --target "${dir}")
  endif()

  # The generated files and their sources, from a build that writes nothing.
  get_filename_component(name "${project}" NAME_WE)
  file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/pagoric")
  set(listing "${CMAKE_CURRENT_BINARY_DIR}/pagoric/${target}-${name}.outputs.d")
  execute_process(
    COMMAND "${PAGORIC_EXECUTABLE}" build "${project}" --check --depfile "${listing}" ${target_args}
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT EXISTS "${listing}" OR result GREATER 1)
    message(FATAL_ERROR "pagoric_add_web: pagoric cannot read ${project}:\n${errors}")
  endif()
  _pagoric_read_depfile("${listing}" outputs inputs)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${project}")

  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/pagoric/${target}-${name}.d")
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${PAGORIC_EXECUTABLE}" build "${project}" --yes --depfile "${depfile}" ${target_args}
    DEPENDS "${project}" ${inputs}
    DEPFILE "${depfile}"
    COMMENT "Generating the web pages of ${project}"
    VERBATIM)
  target_sources(${target} PRIVATE ${outputs})

  # Page files include no header of their own.
  list(GET outputs 0 url_file)
  list(GET outputs 1 bin_file)
  set(pages ${outputs})
  list(REMOVE_ITEM pages "${url_file}" "${bin_file}")
  if(pages)
    set_source_files_properties(${pages} PROPERTIES COMPILE_OPTIONS "-include;${PW_SERVER_HEADER}")
  endif()
endfunction()

set(Pagoric_FOUND TRUE)

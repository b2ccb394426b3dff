# Pagoric inside a firmware's CMake build. Use it with find_package(Pagoric)
# after installing Pagoric, or include() this file from a checkout (then set
# PAGORIC_EXECUTABLE to the pagoric program you built, or have it on the PATH).
#
#   pagoric_add_web(<target> PROJECT <file.web> [TARGET_DIR <dir>]
#                   [SERVER_HEADER <header>] [NO_FORCE_INCLUDE]
#                   [DATA_FORM array|literal])
#
# Adds the C files that the project generates (the URL file, the binary data
# file and one file per page) to <target>.
#
# The generated files hold the code you type into their stubs, so they are
# sources that Pagoric keeps up to date, never outputs that CMake owns: the
# `clean` target leaves them alone. They are generated when CMake configures
# (so that they exist before the first build) and again whenever the project
# file or one of its source files changed (a dependency file and a stamp drive
# the rerun). Every run is `pagoric build --no-save`: a firmware build never
# rewrites the committed project file. Each generated file has a stamp of its
# own that Pagoric touches only when it wrote that file, so a page edit
# recompiles that page's file (and the URL file when its table changed).
#
# TARGET_DIR is where the files are generated (relative to the current binary
# directory; default: the project's own target directory). Two build trees of
# one project each keep their own build state there. The page files include no
# header of their own: the server's header (SERVER_HEADER, "hservapi.h" found
# on the target's include path by default) is force-included with the flag
# the C compiler understands (GCC, Clang: -include; MSVC: /FI); give
# NO_FORCE_INCLUDE to supply the declarations another way. The binary data file
# is compiled with -funsigned-char where the compiler knows it: its arrays hold
# bytes above 127 as `const char`.
#
# DATA_FORM chooses how the binary data file writes its buffers for this build:
# byte arrays, or string literals, which compile several times faster (the
# project's own setting when it is not given).
#
# The pagoric program is the imported target Pagoric::pagoric.

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
if(NOT TARGET Pagoric::pagoric)
  add_executable(Pagoric::pagoric IMPORTED GLOBAL)
  set_target_properties(Pagoric::pagoric PROPERTIES IMPORTED_LOCATION "${PAGORIC_EXECUTABLE}")
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
  cmake_parse_arguments(PW "NO_FORCE_INCLUDE" "PROJECT;TARGET_DIR;SERVER_HEADER;DATA_FORM" ""
                        ${ARGN})
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
  if(PW_DATA_FORM)
    if(NOT PW_DATA_FORM MATCHES "^(array|literal)$")
      message(FATAL_ERROR "pagoric_add_web: DATA_FORM is array or literal, not ${PW_DATA_FORM}")
    endif()
    list(APPEND target_args --data-form ${PW_DATA_FORM})
  endif()
  get_target_property(pagoric Pagoric::pagoric IMPORTED_LOCATION)

  # Generate now, writing nothing but the generated files: they must exist
  # before the build starts, and the dependency file lists them.
  get_filename_component(name "${project}" NAME_WE)
  set(work "${CMAKE_CURRENT_BINARY_DIR}/pagoric/${target}-${name}")
  file(MAKE_DIRECTORY "${work}")
  execute_process(
    COMMAND "${pagoric}" build "${project}" --no-save --yes --depfile "${work}/outputs.d"
            ${target_args}
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT EXISTS "${work}/outputs.d" OR result GREATER 1)
    message(FATAL_ERROR "pagoric_add_web: pagoric cannot build ${project}:\n${errors}")
  elseif(NOT result EQUAL 0)
    message(WARNING "pagoric_add_web: some files of ${project} failed to convert:\n${errors}")
  endif()
  _pagoric_read_depfile("${work}/outputs.d" outputs inputs)
  # A changed tree (new pages) changes the list of files: configure again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${project}")

  set(stamps "")
  foreach(file IN LISTS outputs)
    get_filename_component(file_name "${file}" NAME)
    set(stamp "${work}/stamps/${file_name}.stamp")
    list(APPEND stamps "${stamp}")
    set_property(SOURCE "${file}" APPEND PROPERTY OBJECT_DEPENDS "${stamp}")
  endforeach()
  add_custom_command(
    OUTPUT "${work}/build.stamp"
    BYPRODUCTS ${stamps}
    COMMAND Pagoric::pagoric build "${project}" --no-save --yes --depfile "${work}/build.d"
            --stamp "${work}/build.stamp" --stamp-dir "${work}/stamps" ${target_args}
    DEPENDS "${project}" ${inputs}
    DEPFILE "${work}/build.d"
    COMMENT "Generating the web pages of ${project}"
    VERBATIM)
  add_custom_target(${target}_pagoric DEPENDS "${work}/build.stamp")
  add_dependencies(${target} ${target}_pagoric)
  target_sources(${target} PRIVATE ${outputs})

  list(GET outputs 0 url_file)
  list(GET outputs 1 bin_file)
  set_property(SOURCE "${bin_file}" APPEND PROPERTY COMPILE_OPTIONS
               "$<$<C_COMPILER_ID:GNU,Clang,AppleClang,ARMClang>:-funsigned-char>"
               "$<$<C_COMPILER_ID:GNU,Clang,AppleClang,ARMClang>:-Wno-overlength-strings>"
               "$<$<AND:$<C_COMPILER_ID:GNU>,$<VERSION_GREATER_EQUAL:$<C_COMPILER_VERSION>,15>>:-Wno-unterminated-string-initialization>")
  set(pages ${outputs})
  list(REMOVE_ITEM pages "${url_file}" "${bin_file}")
  if(pages AND NOT PW_NO_FORCE_INCLUDE)
    set(gnu "$<C_COMPILER_ID:GNU,Clang,AppleClang,ARMClang,IntelLLVM>")
    set_property(SOURCE ${pages} APPEND PROPERTY COMPILE_OPTIONS
                 "$<${gnu}:-include>" "$<${gnu}:${PW_SERVER_HEADER}>"
                 "$<$<C_COMPILER_ID:MSVC>:/FI${PW_SERVER_HEADER}>")
  endif()
endfunction()

set(Pagoric_FOUND TRUE)

# Writes the documentation files a Debian package carries, at build time:
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DPACKAGE=... -DMAINTAINER=...
#         -DMAN_PAGES=a.1|b.1 -P debian_docs.cmake
# OUTPUT_DIR/copyright (machine-readable, from LICENSE), OUTPUT_DIR/changelog.gz
# (the Debian changelog made from CHANGELOG.md) and OUTPUT_DIR/NAME.1.gz for
# every manual page. Files are compressed with gzip -9n, which records no
# time, so two builds give the same bytes.
foreach(var SOURCE_DIR OUTPUT_DIR PACKAGE MAINTAINER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "debian_docs.cmake needs -D${var}=...")
  endif()
endforeach()
cmake_policy(VERSION 3.25)
find_program(GZIP_PROGRAM gzip REQUIRED)
file(MAKE_DIRECTORY "${OUTPUT_DIR}")

function(gzip_to input output)
  execute_process(COMMAND "${GZIP_PROGRAM}" -9n -c "${input}" OUTPUT_FILE "${output}.tmp"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${input}: ${status}")
  endif()
  file(RENAME "${output}.tmp" "${output}")
endfunction()

# The weekday of a date, for the changelog's RFC 2822 dates.
function(weekday year month day out)
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR dow "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
  set(names Sun Mon Tue Wed Thu Fri Sat)
  list(GET names ${dow} name)
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# copyright: every file is the Pagoric authors' under the MIT (Expat) licence.
# The licence text below its title and copyright line, as a field's
# continuation lines (an empty line becomes " .").
file(READ "${SOURCE_DIR}/LICENSE" license)
string(REGEX MATCH "Copyright (\\(c\\) )?([^\n]*)" holder "${license}")
set(holder "${CMAKE_MATCH_2}")
string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" license_text "${license}")
string(REGEX REPLACE "\n+$" "" license_text "${license_text}")
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text " ${license_text}\n")
file(WRITE "${OUTPUT_DIR}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Pagoric
Comment: The C files that Pagoric generates belong to whoever generates them
 and carry no licence terms.

Files: *
Copyright: ${holder}
License: Expat

License: Expat
${license_text}")

# changelog.gz: one entry per release of CHANGELOG.md ("## VERSION - DATE"),
# its list items as the entry's items; headings within a release are left out.
file(STRINGS "${SOURCE_DIR}/CHANGELOG.md" lines)
set(changelog "")
set(version "")
set(trailer "")
foreach(line IN LISTS lines)
  if(line MATCHES "^## ([0-9.]+) - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    string(APPEND changelog "${trailer}")
    set(version ${CMAKE_MATCH_1})
    set(y ${CMAKE_MATCH_2})
    set(m ${CMAKE_MATCH_3})
    set(d ${CMAKE_MATCH_4})
    # Leading zeros would make math() read octal.
    string(REGEX REPLACE "^0" "" mm "${m}")
    string(REGEX REPLACE "^0" "" dd "${d}")
    weekday(${y} ${mm} ${dd} wd)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    math(EXPR mi "${mm} - 1")
    list(GET months ${mi} month)
    string(APPEND changelog "${PACKAGE} (${version}) unstable; urgency=medium\n\n")
    set(trailer "\n -- ${MAINTAINER}  ${wd}, ${d} ${month} ${y} 00:00:00 +0000\n\n")
  elseif(version STREQUAL "")
    continue()
  elseif(line MATCHES "^- (.*)$")
    string(APPEND changelog "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  +(.*)$")
    string(APPEND changelog "    ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^[A-Za-z]")
    string(APPEND changelog "  * ${line}\n")
  endif()
endforeach()
string(APPEND changelog "${trailer}")
string(REGEX REPLACE "\n\n$" "\n" changelog "${changelog}")
file(WRITE "${OUTPUT_DIR}/changelog" "${changelog}")
gzip_to("${OUTPUT_DIR}/changelog" "${OUTPUT_DIR}/changelog.gz")

string(REPLACE "|" ";" MAN_PAGES "${MAN_PAGES}")
foreach(page IN LISTS MAN_PAGES)
  get_filename_component(name "${page}" NAME)
  gzip_to("${page}" "${OUTPUT_DIR}/${name}.gz")
endforeach()

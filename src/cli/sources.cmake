# The command line: a small library (unit-tested without spawning a process)
# and a one-file main.

# The host web server's sources travel inside the program for `pagoric
# preview`: a source generated at build time holds their bytes.
set(pagoric_hserver_sources
  ${CMAKE_CURRENT_SOURCE_DIR}/hostserver/hserver.c
  ${CMAKE_CURRENT_SOURCE_DIR}/hostserver/hservapi.h
  ${CMAKE_CURRENT_SOURCE_DIR}/hostserver/hshttp.h
)
set(pagoric_hserver_embedded ${CMAKE_CURRENT_BINARY_DIR}/cli/host_server_sources.cpp)
add_custom_command(
  OUTPUT ${pagoric_hserver_embedded}
  COMMAND ${CMAKE_COMMAND} -P ${CMAKE_CURRENT_SOURCE_DIR}/cli/embed_files.cmake
          ${pagoric_hserver_embedded} HostServerSources ${pagoric_hserver_sources}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cli/embed_files.cmake ${pagoric_hserver_sources}
  COMMENT "Embedding the host web server's sources"
  VERBATIM
)

pagoric_add_layer(cli
  SOURCES
    cli/cli.cpp
    cli/cli_docs.cpp
    cli/preview.cpp
    cli/cli_edit.cpp
    ${pagoric_hserver_embedded}
  DEPENDS pagoric_build pagoric_edit
  TESTS
    cli/cli_test.cpp
    cli/cli_docs_test.cpp
    cli/cli_edit_test.cpp
    cli/preview_test.cpp
)
# The version header generated from project().
target_include_directories(pagoric_cli PUBLIC ${PROJECT_BINARY_DIR}/generated)
if(TARGET cli_tests)
  # The preview test compares the embedded sources with the files themselves.
  target_compile_definitions(cli_tests PRIVATE
    PAGORIC_HOSTSERVER_DIR="${CMAKE_CURRENT_SOURCE_DIR}/hostserver")
endif()
add_executable(pagoric cli/main.cpp)
target_link_libraries(pagoric PRIVATE pagoric_cli pagoric_warnings)

# The manual page and the bash completion, made from the command table.
add_executable(pagoric-docs cli/docs_main.cpp)
target_link_libraries(pagoric-docs PRIVATE pagoric_cli pagoric_warnings)
set(pagoric_man_page ${PROJECT_BINARY_DIR}/doc/pagoric.1)
set(pagoric_completion ${PROJECT_BINARY_DIR}/doc/pagoric.bash-completion)
add_custom_command(
  OUTPUT ${pagoric_man_page} ${pagoric_completion}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
  COMMAND pagoric-docs man ${pagoric_man_page}
  COMMAND pagoric-docs completion ${pagoric_completion}
  DEPENDS pagoric-docs
  COMMENT "Writing the manual page and the bash completion of pagoric"
  VERBATIM
)
add_custom_target(pagoric_docs ALL DEPENDS ${pagoric_man_page} ${pagoric_completion})
if(PAGORIC_TESTS)
  # The completion offers every command and option that the help names.
  add_test(NAME cli_bash_completion
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/completion_test.sh
                   ${pagoric_completion} $<TARGET_FILE:pagoric>)
endif()

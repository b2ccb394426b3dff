# The command line: a small library (unit-tested without spawning a process)
# and a one-file main.
pagoric_add_layer(cli
  SOURCES
    cli/cli.cpp
  DEPENDS pagoric_build
  TESTS
    cli/cli_test.cpp
)
add_executable(pagoric cli/main.cpp)
target_link_libraries(pagoric PRIVATE pagoric_cli pagoric_warnings)

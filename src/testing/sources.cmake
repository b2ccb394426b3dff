# Shared test doubles, compiled only into test targets.
add_library(pagoric_testing STATIC
  testing/scripted_prompter.cpp
  testing/temp_dir.cpp
)
if(WIN32)
  target_sources(pagoric_testing PRIVATE testing/named_pipe_win.cpp)
else()
  target_sources(pagoric_testing PRIVATE testing/named_pipe_posix.cpp)
  # The servers of the end-to-end and host server tests (POSIX processes and
  # sockets; those tests are not built for Windows).
  target_sources(pagoric_testing PRIVATE testing/http_client.cpp testing/server_process.cpp)
endif()
target_include_directories(pagoric_testing PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(pagoric_testing PUBLIC pagoric_platform GTest::gtest PRIVATE pagoric_warnings)

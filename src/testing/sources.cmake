# Shared test doubles, compiled only into test targets.
add_library(pagoric_testing STATIC
  testing/scripted_prompter.cpp
  testing/temp_dir.cpp
  testing/http_client.cpp
  testing/server_process.cpp
)
target_include_directories(pagoric_testing PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(pagoric_testing PUBLIC pagoric_platform GTest::gtest PRIVATE pagoric_warnings)

pagoric_add_layer(build
  SOURCES
    build/build_state.cpp
    build/open_project.cpp
    build/page_files.cpp
    build/recent_list.cpp
    build/source_browser.cpp
    build/flash_size.cpp
  DEPENDS pagoric_generator pagoric_project
  TESTS
    build/open_project_test.cpp
    build/window_rules_test.cpp
    build/flash_size_test.cpp
)

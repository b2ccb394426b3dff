pagoric_add_layer(build
  SOURCES
    build/open_project.cpp
    build/recent_list.cpp
    build/source_browser.cpp
  DEPENDS pagoric_generator pagoric_project
  TESTS
    build/open_project_test.cpp
    build/window_rules_test.cpp
)

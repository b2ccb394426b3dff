pagoric_add_layer(build
  SOURCES
    build/open_project.cpp
  DEPENDS pagoric_generator pagoric_project
  TESTS
    build/open_project_test.cpp
)

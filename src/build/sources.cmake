pagoric_add_layer(build
  SOURCES
    build/open_project.cpp
    build/flash_size.cpp
  DEPENDS pagoric_generator pagoric_project
  TESTS
    build/open_project_test.cpp
    build/flash_size_test.cpp
)

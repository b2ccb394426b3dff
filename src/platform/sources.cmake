pagoric_add_layer(platform
  SOURCES
    platform/ascii.cpp
    platform/file_util.cpp
    platform/text_format.cpp
  TESTS
    platform/file_util_test.cpp
)

pagoric_add_layer(generator
  SOURCES
    generator/field_text.cpp
    generator/c_names.cpp
    generator/code_generator.cpp
    generator/url_table.cpp
    generator/security_table.cpp
    generator/binary_sections.cpp
    generator/convert_util.cpp
    generator/page_convert.cpp
    generator/page_stubs.cpp
    generator/binary_convert.cpp
    generator/file_structure.cpp
  DEPENDS pagoric_document pagoric_project
  TESTS
    generator/test_support.cpp
    generator/code_generator_test.cpp
    generator/url_table_test.cpp
    generator/security_table_test.cpp
    generator/binary_sections_test.cpp
    generator/conv_test_support.cpp
    generator/page_convert_test.cpp
    generator/page_stubs_test.cpp
    generator/binary_convert_test.cpp
    generator/streamed_binary_test.cpp
    generator/compile_test.cpp
    generator/file_structure_test.cpp
)
if(TARGET generator_tests)
  # Golden files, and the web server interface header the compile tests use.
  target_compile_definitions(generator_tests PRIVATE
    PAGORIC_GENERATOR_TESTDATA="${CMAKE_CURRENT_SOURCE_DIR}/generator/testdata"
    PAGORIC_HOSTSERVER_DIR="${CMAKE_CURRENT_SOURCE_DIR}/hostserver"
    # The seed corpus of the generated-file fuzz target, which the tests load.
    PAGORIC_GENERATED_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/generated_files")
endif()

pagoric_add_layer(project
  SOURCES
    project/archive.cpp
    project/file_error.cpp
    project/page_node.cpp
    project/project_file.cpp
    project/tree_ctrl.cpp
    project/url_names.cpp
    project/project_verify.cpp
  DEPENDS pagoric_document
  TESTS
    project/page_node_test.cpp
    project/project_file_test.cpp
    project/tree_ctrl_test.cpp
    project/project_verify_test.cpp
)
if(TARGET project_tests)
  # The unit tests also load the fuzz target's seed corpus.
  target_compile_definitions(project_tests PRIVATE
    PAGORIC_PROJECT_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/project_file")
endif()

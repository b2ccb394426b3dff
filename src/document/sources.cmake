pagoric_add_layer(document
  SOURCES
    document/source_text.cpp
    document/source_doc.cpp
    document/srv_doc.cpp
    document/generated_files.cpp
    document/streamed_file.cpp
    document/markers.cpp
  DEPENDS pagoric_platform Threads::Threads
  TESTS
    document/source_text_test.cpp
    document/srv_doc_test.cpp
    document/streamed_file_test.cpp
)

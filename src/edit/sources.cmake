# The rules of the editor dialogs (URL file, URL entry, security table, home
# page, binary data removal) in plain C++: the dialogs show and forward, and
# the command line runs the very same code.
pagoric_add_layer(edit
  SOURCES
    edit/url_entry_form.cpp
    edit/url_file_editor.cpp
    edit/security_form.cpp
    edit/home_page.cpp
    edit/binary_removal.cpp
  DEPENDS pagoric_generator
  TESTS
    generator/test_support.cpp
    edit/url_file_editor_test.cpp
    edit/editors_test.cpp
)

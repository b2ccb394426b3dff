# The desktop program: a Qt 6 Widgets library over the build layer, a one-file
# main, and Qt Test suites that run on the offscreen platform.
if(NOT PAGORIC_GUI)
  return()
endif()
find_package(Qt6 QUIET COMPONENTS Widgets Test)
if(NOT Qt6_FOUND)
  message(STATUS "Qt 6 Widgets not found: pagoric-gui and its tests are not built "
                 "(install qt6-base-dev, or configure with -DPAGORIC_GUI=OFF)")
  return()
endif()

add_library(pagoric_ui STATIC
  ui/converter_app.cpp
  ui/editor_dlgs.cpp
  ui/gui_args.cpp
  ui/project_dlg.cpp
  ui/relocation_dlgs.cpp
  ui/tree_images.cpp
  ui/ui_dialogs.cpp
  ui/url_tree_model.cpp
  ui/window_placement.cpp
)
set_target_properties(pagoric_ui PROPERTIES AUTOMOC ON)
# The command line's library lends the preview server (the Preview button).
target_link_libraries(pagoric_ui PUBLIC pagoric_core pagoric_cli Qt6::Widgets
                      PRIVATE pagoric_warnings)
target_include_directories(pagoric_ui PRIVATE ${PROJECT_BINARY_DIR}/generated)

add_executable(pagoric-gui ui/main.cpp)
target_link_libraries(pagoric-gui PRIVATE pagoric_ui pagoric_warnings)

# Renders the windows into PNG files for the README (scripts/screenshots.sh).
add_executable(pagoric-screenshots ui/screenshots.cpp)
target_link_libraries(pagoric-screenshots PRIVATE pagoric_ui pagoric_warnings)

if(PAGORIC_TESTS)
  # pagoric_ui_add_test(NAME SOURCE): a Qt Test suite on the offscreen platform.
  function(pagoric_ui_add_test name source)
    add_executable(${name} ${source} ui/ui_test_support.cpp)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE pagoric_ui pagoric_testing Qt6::Test pagoric_warnings)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PAGORIC_GUI_BINARY=$<TARGET_FILE:pagoric-gui>"
      TIMEOUT 300)
  endfunction()
  pagoric_ui_add_test(ui_app_tests ui/converter_app_test.cpp)
  pagoric_ui_add_test(ui_project_tests ui/project_dlg_test.cpp)
  pagoric_ui_add_test(ui_editor_tests ui/editor_dlgs_test.cpp)
  pagoric_ui_add_test(ui_placement_tests ui/window_placement_test.cpp)
  # The core must never link Qt: the command line, built from it, needs no Qt
  # library.
  add_test(NAME core_links_no_qt
           COMMAND sh -c "! readelf -d \"$1\" | grep -q 'libQt'" -- $<TARGET_FILE:pagoric>)
endif()

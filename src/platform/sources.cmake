# The platform layer: what every system shares, then one implementation of
# the system calls per system behind the same declarations.
if(WIN32)
  set(pagoric_platform_os_sources
    platform/windows/dir_list_win.cpp
    platform/windows/environment_win.cpp
    platform/windows/file_util_win.cpp
    platform/windows/project_lock_win.cpp
    platform/windows/process_win.cpp
    platform/windows/wide_path.cpp
  )
else()
  set(pagoric_platform_os_sources
    platform/posix/dir_list_posix.cpp
    platform/posix/environment_posix.cpp
    platform/posix/file_util_posix.cpp
    platform/posix/project_lock_posix.cpp
    platform/posix/process_posix.cpp
  )
  set(pagoric_platform_os_tests platform/file_util_posix_test.cpp)
endif()

pagoric_add_layer(platform
  SOURCES
    platform/ascii.cpp
    platform/dir_list.cpp
    platform/file_util.cpp
    platform/path.cpp
    platform/project_lock.cpp
    platform/text_format.cpp
    ${pagoric_platform_os_sources}
  TESTS
    platform/file_util_test.cpp
    platform/dir_list_test.cpp
    platform/path_test.cpp
    ${pagoric_platform_os_tests}
)
if(WIN32)
  # Wide-character Win32 calls; the user's name (advapi32) and the wide
  # command line (shell32).
  target_compile_definitions(pagoric_platform PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(pagoric_platform PUBLIC advapi32 shell32)
endif()

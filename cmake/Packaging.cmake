# Installation rules and the Debian package (cpack -G DEB). Included at the end
# of the top-level CMakeLists.txt, so that it sees every target.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS pagoric RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT pagoric)

# The desktop program, when it is built, with its menu entry and icon: a
# package of its own, so that the command line pulls in no Qt library.
if(TARGET pagoric-gui)
  install(TARGETS pagoric-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagoric-gui.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagoric.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
  # The MIME type of project files (*.web), so that file managers open them
  # with the program (its .desktop entry names the type).
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagoric-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME pagoric.xml COMPONENT gui)
  if(WIN32)
    # Qt's libraries and plugins beside pagoric-gui.exe, as windeployqt finds
    # them (it comes with Qt for Windows).
    find_program(PAGORIC_WINDEPLOYQT windeployqt HINTS "${Qt6_DIR}/../../../bin")
    if(PAGORIC_WINDEPLOYQT)
      install(CODE "execute_process(COMMAND \"${PAGORIC_WINDEPLOYQT}\" --no-translations
                      \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/pagoric-gui.exe\")"
              COMPONENT gui)
    else()
      message(WARNING "windeployqt not found: the installed pagoric-gui.exe lacks Qt's DLLs")
    endif()
  endif()
endif()

# The host web server's sources, for trying generated pages on a workstation
# (pagoric_add_web in a host "firmware" project).
install(FILES ${PROJECT_SOURCE_DIR}/src/hostserver/hservapi.h
              ${PROJECT_SOURCE_DIR}/src/hostserver/hshttp.h
              ${PROJECT_SOURCE_DIR}/src/hostserver/hserver.c
              ${PROJECT_SOURCE_DIR}/src/hostserver/hsserver.h
              ${PROJECT_SOURCE_DIR}/src/hostserver/hsserver.c
              ${PROJECT_SOURCE_DIR}/src/hostserver/hs_socket.c
              ${PROJECT_SOURCE_DIR}/src/hostserver/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pagoric/hostserver COMPONENT pagoric)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/hostserver/port
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pagoric/hostserver COMPONENT pagoric)

# find_package(Pagoric): the CMake function pagoric_add_web.
# Architecture-independent, so the one path works for every prefix.
set(pagoric_cmake_dir ${CMAKE_INSTALL_DATADIR}/cmake/Pagoric)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PagoricConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/PagoricConfig.cmake
              ${PROJECT_BINARY_DIR}/PagoricConfigVersion.cmake
        DESTINATION ${pagoric_cmake_dir} COMPONENT pagoric)

# The manual page and the bash completion of pagoric, made by the target
# pagoric_docs (src/cli) from the command table.
set(pagoric_man_page ${PROJECT_BINARY_DIR}/doc/pagoric.1)
install(FILES ${PROJECT_BINARY_DIR}/doc/pagoric.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pagoric
        COMPONENT pagoric)

# The documentation files of the packages: copyright, the Debian changelog made
# from CHANGELOG.md and the compressed manual pages. gzip is there on every
# system that makes Debian packages; elsewhere the plain manual pages go in.
set(PAGORIC_PACKAGE_MAINTAINER "The Pagoric authors <maintainers@pagoric.example>"
    CACHE STRING "The maintainer of the Debian packages, as \"Name <address>\"")
find_program(PAGORIC_GZIP gzip)
set(pagoric_gui_man_page ${PROJECT_SOURCE_DIR}/packaging/pagoric-gui.1)
set(pagoric_components pagoric)
if(TARGET pagoric-gui)
  list(APPEND pagoric_components gui)
endif()
if(PAGORIC_GZIP)
  set(debian_docs ${PROJECT_BINARY_DIR}/debian-docs)
  add_custom_command(
    OUTPUT ${debian_docs}/copyright ${debian_docs}/changelog.gz ${debian_docs}/pagoric.1.gz
           ${debian_docs}/pagoric-gui.1.gz
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${debian_docs}
            -DPACKAGE=pagoric -DMAINTAINER=${PAGORIC_PACKAGE_MAINTAINER}
            "-DMAN_PAGES=${pagoric_man_page}|${pagoric_gui_man_page}"
            -P ${PROJECT_SOURCE_DIR}/cmake/debian_docs.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian_docs.cmake ${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${pagoric_man_page} ${pagoric_gui_man_page}
    COMMENT "Writing the copyright file, the changelog and the manual pages of the packages"
    VERBATIM)
  add_custom_target(pagoric_debian_docs ALL
                    DEPENDS ${debian_docs}/copyright ${debian_docs}/changelog.gz)
  add_dependencies(pagoric_debian_docs pagoric_docs)
  set(pagoric_man_pages ${debian_docs}/pagoric.1.gz ${debian_docs}/pagoric-gui.1.gz)
else()
  set(pagoric_man_pages ${pagoric_man_page} ${pagoric_gui_man_page})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/firmware.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pagoric COMPONENT pagoric)
foreach(component IN LISTS pagoric_components)
  if(component STREQUAL "gui")
    set(package pagoric-gui)
    list(GET pagoric_man_pages 1 man_page)
  else()
    set(package pagoric)
    list(GET pagoric_man_pages 0 man_page)
  endif()
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  if(PAGORIC_GZIP)
    install(FILES ${debian_docs}/copyright ${debian_docs}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endif()
endforeach()

# Two packages: pagoric (the command line, the CMake package, the host web
# server's sources) and pagoric-gui (the desktop program), which needs the
# first at the same version.
set(CPACK_PACKAGE_NAME pagoric)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pagoric authors")
set(CPACK_PACKAGE_CONTACT "${PAGORIC_PACKAGE_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${pagoric_components})
set(CPACK_DEBIAN_PACKAGE_SOURCE pagoric)
set(CPACK_DEBIAN_PAGORIC_PACKAGE_NAME pagoric)
set(CPACK_DEBIAN_GUI_PACKAGE_NAME pagoric-gui)
# The first line is the synopsis, the rest the extended description, its lines
# as they stand, an empty one between paragraphs (one string: a CMake list
# would put ";" into it).
set(CPACK_DEBIAN_PAGORIC_DESCRIPTION
    "compiles web pages into C source for embedded web servers
Pagoric compiles the pages and files of a web project into C files for a small
web server without a file system, and keeps the code written into the
generated stubs across builds.

This package holds the pagoric command, the CMake function pagoric_add_web
for firmware builds and the sources of a host web server for trying the
pages on a workstation.")
set(CPACK_DEBIAN_GUI_DESCRIPTION
    "desktop program for Pagoric web projects
Pagoric compiles the pages and files of a web project into C files for a small
web server without a file system, and keeps the code written into the
generated stubs across builds.

This package holds pagoric-gui, the window in which a project's URL tree is
put together, built, and its generated files edited.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "pagoric (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The libraries the installed programs link against (the C++ runtime, and the
# Qt libraries for the desktop program) come from dpkg-shlibdeps, so each
# package depends on exactly what it links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Generated C is compiled by the firmware's compiler; cmake for pagoric_add_web.
set(CPACK_DEBIAN_PAGORIC_PACKAGE_SUGGESTS "cmake (>= 3.20), gcc | clang")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)

# Installation rules and the Debian package (cpack -G DEB). Included at the end
# of the top-level CMakeLists.txt, so that it sees every target.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS pagoric RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT pagoric)

# The desktop program, when it is built, with its menu entry and icon.
if(TARGET pagoric-gui)
  install(TARGETS pagoric-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT pagoric)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagoric-gui.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT pagoric)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagoric.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT pagoric)
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

set(CPACK_PACKAGE_NAME pagoric)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pagoric developers")
set(CPACK_PACKAGE_CONTACT "Pagoric developers <pagoric@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Turns a web project into C source for the web server of embedded firmware")
set(CPACK_PACKAGE_DESCRIPTION
    "Pagoric compiles the pages and files of a web project into C files for a small web\n"
    "server without a file system, and keeps the code written into the generated stubs\n"
    "across builds. Includes the pagoric command, a CMake function for firmware builds\n"
    "and a host web server for trying the pages.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/pagoric")
# The libraries the installed programs link against (the C++ runtime, and the
# Qt libraries when the desktop program is part of the package) come from
# dpkg-shlibdeps, so the package depends on exactly what was linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Generated C is compiled by the firmware's compiler; cmake for pagoric_add_web.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cmake (>= 3.20), gcc | clang")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)

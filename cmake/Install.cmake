# Installing Tarvo Studio. The application finds its resources from its own
# executable (the folder Resources beside the folder that holds it), so an
# install keeps the shape of build/bundle under <prefix>/lib/tarvo-studio and
# puts on the PATH only a relative symbolic link to it: relative, so that a
# tree staged under DESTDIR (or packed into a .deb) is right once it lands.
# What a desktop needs to show the application goes under <prefix>/share.

if(NOT TARGET tarvo-studio)
  message(STATUS "Install rules skipped: the application is not built")
  return()
endif()

set(TARVO_INSTALL_COMPONENT tarvo-studio)
set(TARVO_INSTALL_BUNDLE lib/tarvo-studio)
# The date of the release numbered PROJECT_VERSION; change the two together.
set(TARVO_RELEASE_DATE 2026-12-07)

# Folders readable by everyone whatever the umask of whoever installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS tarvo-studio tarvo-studio-keeper
        RUNTIME DESTINATION ${TARVO_INSTALL_BUNDLE}/bin COMPONENT ${TARVO_INSTALL_COMPONENT})
if(TARGET tarvo_web_extension)
  install(TARGETS tarvo_web_extension
          LIBRARY DESTINATION ${TARVO_INSTALL_BUNDLE}/lib/web-extensions
          COMPONENT ${TARVO_INSTALL_COMPONENT})
endif()

# The bundle's resources exactly as the build assembled them, less the
# bytecode that running the backend from there may have left behind: the
# application would sweep it out again at every start, and a read-only install
# must not carry it.
install(DIRECTORY ${TARVO_BUNDLE_DIR}/Resources/
        DESTINATION ${TARVO_INSTALL_BUNDLE}/Resources COMPONENT ${TARVO_INSTALL_COMPONENT}
        PATTERN __pycache__ EXCLUDE
        PATTERN *.pyc EXCLUDE
        PATTERN *.pyo EXCLUDE)

set(TARVO_LAUNCHER_DIR ${CMAKE_BINARY_DIR}/install-launcher)
file(MAKE_DIRECTORY ${TARVO_LAUNCHER_DIR})
file(CREATE_LINK ../${TARVO_INSTALL_BUNDLE}/bin/tarvo-studio ${TARVO_LAUNCHER_DIR}/tarvo-studio
     SYMBOLIC)
install(FILES ${TARVO_LAUNCHER_DIR}/tarvo-studio DESTINATION bin
        COMPONENT ${TARVO_INSTALL_COMPONENT})

set(TARVO_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)
configure_file(${TARVO_DESKTOP_DIR}/${TARVO_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/desktop/${TARVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${TARVO_DESKTOP_DIR}/${TARVO_APP_ID}.desktop DESTINATION share/applications
        COMPONENT ${TARVO_INSTALL_COMPONENT})
install(FILES ${TARVO_DESKTOP_DIR}/${TARVO_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps
        COMPONENT ${TARVO_INSTALL_COMPONENT})
install(FILES ${CMAKE_BINARY_DIR}/desktop/${TARVO_APP_ID}.metainfo.xml DESTINATION share/metainfo
        COMPONENT ${TARVO_INSTALL_COMPONENT})

# Removes what the last install recorded in install_manifest.txt.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DTARVO_MANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/Uninstall.cmake
  COMMENT "Removing the installed files of Tarvo Studio" VERBATIM)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)

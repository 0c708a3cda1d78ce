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
install(DIRECTORY ${TARVO_BUNDLE_DIR}/share/icons/hicolor DESTINATION share/icons
        COMPONENT ${TARVO_INSTALL_COMPONENT})
# The translations: the prefix's share/locale, where the application looks
# for them once installed.
if(TARGET tarvo_translations)
  install(DIRECTORY ${TARVO_BUNDLE_DIR}/share/locale DESTINATION share
          COMPONENT ${TARVO_INSTALL_COMPONENT})
endif()
install(FILES ${CMAKE_BINARY_DIR}/desktop/${TARVO_APP_ID}.metainfo.xml DESTINATION share/metainfo
        COMPONENT ${TARVO_INSTALL_COMPONENT})

# Removes what the last install recorded in install_manifest.txt.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DTARVO_MANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/Uninstall.cmake
  COMMENT "Removing the installed files of Tarvo Studio" VERBATIM)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)

# What a Debian system expects beside a program: its copyright in the
# machine-readable format, its changelog and its manual page, made from
# resources/package with the project's version, release date, homepage,
# maintainer and licence.
set(TARVO_PACKAGE_SOURCE ${CMAKE_SOURCE_DIR}/resources/package)
set(TARVO_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package)
execute_process(COMMAND date -R -u -d ${TARVO_RELEASE_DATE}
                OUTPUT_VARIABLE TARVO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE TARVO_LICENSE_TEXT)
string(STRIP "${TARVO_LICENSE_TEXT}" TARVO_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" TARVO_LICENSE_TEXT "${TARVO_LICENSE_TEXT}")
string(REPLACE "\n" "\n " TARVO_LICENSE_TEXT " ${TARVO_LICENSE_TEXT}")
configure_file(${TARVO_PACKAGE_SOURCE}/copyright.in ${TARVO_PACKAGE_FILES}/copyright @ONLY)
configure_file(${TARVO_PACKAGE_SOURCE}/changelog.in ${TARVO_PACKAGE_FILES}/changelog @ONLY)
configure_file(${TARVO_PACKAGE_SOURCE}/tarvo-studio.1.in ${TARVO_PACKAGE_FILES}/tarvo-studio.1 @ONLY)
foreach(document changelog tarvo-studio.1)
  add_custom_command(OUTPUT ${TARVO_PACKAGE_FILES}/${document}.gz
                     COMMAND gzip -9 -n -c ${TARVO_PACKAGE_FILES}/${document}
                             > ${TARVO_PACKAGE_FILES}/${document}.gz
                     DEPENDS ${TARVO_PACKAGE_FILES}/${document})
endforeach()
add_custom_target(tarvo_documents ALL DEPENDS ${TARVO_PACKAGE_FILES}/changelog.gz
                                              ${TARVO_PACKAGE_FILES}/tarvo-studio.1.gz)
install(FILES ${TARVO_PACKAGE_FILES}/copyright ${TARVO_PACKAGE_FILES}/changelog.gz
        DESTINATION share/doc/tarvo-studio COMPONENT ${TARVO_INSTALL_COMPONENT})
install(FILES ${TARVO_PACKAGE_FILES}/tarvo-studio.1.gz DESTINATION share/man/man1
        COMPONENT ${TARVO_INSTALL_COMPONENT})

# A Debian package of the installed layout (cpack -G DEB, or `make package`).
# Its library dependencies come from dpkg-shlibdeps, run over the executables
# (the application and the keeper of its backend) and the web process extension; the interpreter the backend needs cannot be
# seen from there, nor the libcurl version, so those are named here, and so
# are the sandbox's helpers.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvo-studio)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tarvo Studio")
set(CPACK_PACKAGE_CONTACT "Tarvo Studio maintainers <maintainers@tarvo.studio>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one window onto the local Tarvo Studio service")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only what the application's install rules lay out, nothing a test or a
# library might add to the default component.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};${TARVO_INSTALL_COMPONENT};/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# dpkg-shlibdeps runs from PackageDepends.cmake, which names each package once.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)
# The web process runs in a bubblewrap sandbox, with D-Bus reached through
# xdg-dbus-proxy; the application asks for it, so it says so here too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.10), bubblewrap, xdg-dbus-proxy")
# The libcurl the build needs at run time, under the name of the package that
# holds the library it linked (libcurl4, or libcurl4t64 from Debian 13 on).
list(GET CURL_LIBRARIES 0 tarvo_curl_library)
file(REAL_PATH "${tarvo_curl_library}" tarvo_curl_library)
execute_process(COMMAND dpkg-query --search "${tarvo_curl_library}"
                OUTPUT_VARIABLE tarvo_curl_owner RESULT_VARIABLE tarvo_curl_status ERROR_QUIET)
if(tarvo_curl_status EQUAL 0 AND tarvo_curl_owner MATCHES "^([a-z0-9][a-z0-9+.-]*)[:,]")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1} (>= ${TARVO_CURL_MINIMUM})")
else()
  message(WARNING "No Debian package holds ${tarvo_curl_library}; the package will not "
                  "name the libcurl version it needs")
endif()
# CPack puts the summary above this as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarvo Studio starts its backend, a Python program it carries with it, on
this computer and shows the backend's own page in a single window. It
restarts a backend that dies, keeps a rotating log of its output, opens
every other web address in the browser, and asks before quitting while
work is still in flight.")

# No source package: the git repository is the source.
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/;/build[^/]*/;__pycache__")

include(CPack)

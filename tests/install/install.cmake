# Installing and packaging. Both run the install rules of the build folder,
# so they are registered only with the application; the component is the one
# cmake/Install.cmake puts every rule in (installing by component keeps the
# build's install_manifest.txt, which `make uninstall` reads, untouched).
if(TARGET tarvo-studio)
  set(TARVO_INSTALL_TESTS ${CMAKE_CURRENT_LIST_DIR})

  # Staged under a temporary DESTDIR; the installed application is started
  # from its desktop entry under Xvfb, so it takes the port lock.
  add_test(NAME install_destdir
    COMMAND /usr/bin/python3 ${TARVO_INSTALL_TESTS}/install_test.py
            --cmake ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --bundle ${TARVO_BUNDLE_DIR}
            --component tarvo-studio --version ${PROJECT_VERSION}
            --homepage ${PROJECT_HOMEPAGE_URL})
  set_tests_properties(install_destdir PROPERTIES
    LABELS install RESOURCE_LOCK port7810 TIMEOUT 900 SKIP_RETURN_CODE 77)

  # The .deb is built and inspected, never installed.
  add_test(NAME install_deb
    COMMAND /usr/bin/python3 ${TARVO_INSTALL_TESTS}/deb_test.py
            --cpack ${CMAKE_CPACK_COMMAND} --build ${CMAKE_BINARY_DIR} --bundle ${TARVO_BUNDLE_DIR}
            --component tarvo-studio --version ${PROJECT_VERSION}
            --curl-minimum ${TARVO_CURL_MINIMUM})
  set_tests_properties(install_deb PROPERTIES LABELS install TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()

# The GTK application, its web process extension and the bundle around them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
pkg_check_modules(WEBKIT_EXT REQUIRED IMPORTED_TARGET webkit2gtk-web-extension-4.1)
pkg_check_modules(GTK_PRINT REQUIRED IMPORTED_TARGET gtk+-unix-print-3.0)

# Who holds the copyright, as the licence says it; About shows it too.
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE TARVO_COPYRIGHT_LINE REGEX "^Copyright \\(c\\) " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\(c\\) " "" TARVO_COPYRIGHT "${TARVO_COPYRIGHT_LINE}")

file(GLOB TARVO_GTK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/gtk/*.cpp)
add_library(tarvo_gtk STATIC ${TARVO_GTK_SOURCES})
# The toolkit layer sees only the seam; main.cpp is where it meets the shell.
target_link_libraries(tarvo_gtk PUBLIC tarvo_platform_api PkgConfig::GTK PkgConfig::WEBKIT
                                PRIVATE PkgConfig::GTK_PRINT)
target_compile_options(tarvo_gtk PRIVATE ${TARVO_WARNINGS})
target_compile_definitions(tarvo_gtk PUBLIC TARVO_VERSION="${PROJECT_VERSION}" TARVO_APP_ID="${TARVO_APP_ID}"
                                     PRIVATE TARVO_HOMEPAGE="${PROJECT_HOMEPAGE_URL}"
                                             TARVO_COPYRIGHT="${TARVO_COPYRIGHT}")

# Loaded into each web process: tells the application which frame posted a message.
file(GLOB TARVO_EXTENSION_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/src/gtk/extension/*.cpp)
if(TARVO_EXTENSION_SOURCES)
  add_library(tarvo_web_extension MODULE ${TARVO_EXTENSION_SOURCES})
  # Shares the toolkit layer's headers (its wire names, its GLib owners), not its library.
  target_include_directories(tarvo_web_extension PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(tarvo_web_extension PRIVATE PkgConfig::WEBKIT_EXT)
  target_compile_options(tarvo_web_extension PRIVATE ${TARVO_WARNINGS})
  set_target_properties(tarvo_web_extension PROPERTIES
    PREFIX "" OUTPUT_NAME "tarvo-studio-frames"
    LIBRARY_OUTPUT_DIRECTORY ${TARVO_BUNDLE_DIR}/lib/web-extensions)
endif()

add_executable(tarvo-studio ${CMAKE_SOURCE_DIR}/src/main.cpp ${CMAKE_SOURCE_DIR}/src/ServiceBackend.cpp)
target_link_libraries(tarvo-studio PRIVATE tarvo_gtk tarvo_shell tarvo_supervisor)
target_compile_options(tarvo-studio PRIVATE ${TARVO_WARNINGS})
set_target_properties(tarvo-studio PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVO_BUNDLE_DIR}/bin)
add_dependencies(tarvo-studio tarvo_backend tarvo-studio-keeper)
# The icon as a hicolor theme of the bundle's own, searched before the
# desktop's themes when run from the build folder: the PNG sizes, which need
# no SVG renderer, beside the scalable picture they were made from.
file(GLOB_RECURSE TARVO_ICON_PICTURES RELATIVE ${CMAKE_SOURCE_DIR}/resources/desktop/icons
     CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/desktop/icons/*.png)
foreach(picture IN LISTS TARVO_ICON_PICTURES)
  configure_file(${CMAKE_SOURCE_DIR}/resources/desktop/icons/${picture}
                 ${TARVO_BUNDLE_DIR}/share/icons/${picture} COPYONLY)
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/resources/desktop/${TARVO_APP_ID}.svg
               ${TARVO_BUNDLE_DIR}/share/icons/hicolor/scalable/apps/${TARVO_APP_ID}.svg COPYONLY)
if(TARGET tarvo_web_extension)
  add_dependencies(tarvo-studio tarvo_web_extension)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/Translations.cmake)
if(TARGET tarvo_translations)
  add_dependencies(tarvo-studio tarvo_translations)
endif()

# Tests of the toolkit layer that need no display: the queues, the quit road,
# the remembered frame. (The window itself is tested end to end.)
file(GLOB TARVO_GTK_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gtk/*.cpp)
if(TARVO_BUILD_TESTS AND TARVO_GTK_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  enable_testing()
  add_executable(gtk_unit_tests ${TARVO_GTK_TESTS})
  target_link_libraries(gtk_unit_tests PRIVATE tarvo_gtk GTest::gtest_main)
  target_compile_options(gtk_unit_tests PRIVATE ${TARVO_WARNINGS})
  gtest_discover_tests(gtk_unit_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS unit TIMEOUT 60)
endif()

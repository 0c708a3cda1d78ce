# The application's translations: po/<language>.po for each language in
# po/LINGUAS, compiled into the bundle's share/locale (where the build's
# bundle finds them) and installed into the prefix's share/locale.
#
# `cmake --build build --target update-po` makes the template
# po/tarvo-studio.pot afresh from the sources and merges it into every
# language's file; new texts then wait there, untranslated, for a translator.
find_program(TARVO_XGETTEXT xgettext)
find_program(TARVO_MSGMERGE msgmerge)
find_program(TARVO_MSGFMT msgfmt)
if(NOT TARVO_MSGFMT)
  message(WARNING "msgfmt (gettext) is missing: the application is built without its translations")
  return()
endif()

set(TARVO_PO_DIR ${CMAKE_SOURCE_DIR}/po)
set(TARVO_TEXT_DOMAIN tarvo-studio) # platform::textDomain
file(STRINGS ${TARVO_PO_DIR}/LINGUAS TARVO_LANGUAGES REGEX "^[^#]")

set(TARVO_CATALOGS)
foreach(language IN LISTS TARVO_LANGUAGES)
  set(catalog ${TARVO_BUNDLE_DIR}/share/locale/${language}/LC_MESSAGES/${TARVO_TEXT_DOMAIN}.mo)
  add_custom_command(
    OUTPUT ${catalog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVO_BUNDLE_DIR}/share/locale/${language}/LC_MESSAGES
    COMMAND ${TARVO_MSGFMT} --check -o ${catalog} ${TARVO_PO_DIR}/${language}.po
    DEPENDS ${TARVO_PO_DIR}/${language}.po
    COMMENT "Compiling the ${language} translation")
  list(APPEND TARVO_CATALOGS ${catalog})
endforeach()
add_custom_target(tarvo_translations ALL DEPENDS ${TARVO_CATALOGS})

if(TARVO_XGETTEXT AND TARVO_MSGMERGE)
  set(TARVO_POT ${TARVO_PO_DIR}/${TARVO_TEXT_DOMAIN}.pot)
  # The words of the xgettext call, shared with the test that the
  # translations are complete (tests/translations).
  set(TARVO_XGETTEXT_ARGS
      --from-code=UTF-8 --language=C++ --keyword=tr --keyword=trn:1,2 --keyword=trLogged
      --add-comments=TRANSLATORS: --add-location=file --sort-by-file
      --package-name=Tarvo\ Studio --package-version=${PROJECT_VERSION}
      --msgid-bugs-address=${PROJECT_HOMEPAGE_URL})
  file(GLOB_RECURSE TARVO_TEXT_SOURCES RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/*.cpp ${CMAKE_SOURCE_DIR}/src/*.h)
  list(SORT TARVO_TEXT_SOURCES)
  set(update_commands
      COMMAND ${TARVO_XGETTEXT} ${TARVO_XGETTEXT_ARGS} --output=${TARVO_POT} ${TARVO_TEXT_SOURCES})
  foreach(language IN LISTS TARVO_LANGUAGES)
    list(APPEND update_commands COMMAND ${TARVO_MSGMERGE} --quiet --update --backup=none
         --add-location=file ${TARVO_PO_DIR}/${language}.po ${TARVO_POT})
  endforeach()
  add_custom_target(update-po ${update_commands}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Making po/${TARVO_TEXT_DOMAIN}.pot from the sources and merging it into po/*.po"
    VERBATIM)
endif()

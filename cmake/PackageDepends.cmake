# Run by CPack once the package's files are staged (CPACK_PRE_BUILD_SCRIPTS):
# the libraries the binaries link, as dpkg-shlibdeps names them, joined to
# the dependencies it cannot see (cmake/Package.cmake). A package named on
# both sides is named once, with the stricter of the two versions, so
# libcurl appears once, at the version the build needs.
file(GLOB_RECURSE tarvo_binaries LIST_DIRECTORIES FALSE
     "${CPACK_TEMPORARY_DIRECTORY}/usr/lib/tarvo-studio/bin/*"
     "${CPACK_TEMPORARY_DIRECTORY}/usr/lib/tarvo-studio/lib/*.so")
file(MAKE_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}/../shlibdeps/debian")
file(WRITE "${CPACK_TEMPORARY_DIRECTORY}/../shlibdeps/debian/control" "")
execute_process(COMMAND dpkg-shlibdeps --ignore-missing-info -O ${tarvo_binaries}
                WORKING_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}/../shlibdeps"
                OUTPUT_VARIABLE tarvo_found RESULT_VARIABLE tarvo_status ERROR_VARIABLE tarvo_error
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${CPACK_TEMPORARY_DIRECTORY}/../shlibdeps")
if(NOT tarvo_status EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${tarvo_error}")
endif()
string(REGEX REPLACE "^.*Depends=" "" tarvo_found "${tarvo_found}")

# name -> the relation as written, the stricter version kept.
set(tarvo_names)
string(REPLACE ", " ";" tarvo_relations "${CPACK_DEBIAN_PACKAGE_DEPENDS};${tarvo_found}")
string(REPLACE "," ";" tarvo_relations "${tarvo_relations}")
foreach(relation IN LISTS tarvo_relations)
  string(STRIP "${relation}" relation)
  if(NOT relation MATCHES "^([a-z0-9][a-z0-9+.-]*)( \\(>= ([^)]+)\\))?$")
    list(APPEND tarvo_names "${relation}") # an alternative or the like: kept as it is
    set("tarvo_relation_${relation}" "${relation}")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(version "${CMAKE_MATCH_3}")
  if(NOT DEFINED "tarvo_version_${name}")
    list(APPEND tarvo_names "${name}")
    set("tarvo_version_${name}" "${version}")
  elseif(version)
    execute_process(COMMAND dpkg --compare-versions "${version}" gt "${tarvo_version_${name}}"
                    RESULT_VARIABLE newer)
    if(newer EQUAL 0 OR NOT tarvo_version_${name})
      set("tarvo_version_${name}" "${version}")
    endif()
  endif()
endforeach()
set(tarvo_depends)
foreach(name IN LISTS tarvo_names)
  if(DEFINED "tarvo_relation_${name}")
    list(APPEND tarvo_depends "${tarvo_relation_${name}}")
  elseif(tarvo_version_${name})
    list(APPEND tarvo_depends "${name} (>= ${tarvo_version_${name}})")
  else()
    list(APPEND tarvo_depends "${name}")
  endif()
endforeach()
list(JOIN tarvo_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)

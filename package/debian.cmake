# The Debian package (CPack DEB): one package `q8vantorpt` with the tool, the
# shared and static libraries, the headers, the CMake and pkg-config files,
# the Python package and the reference catalogues, installed under /usr.
#
#   cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-rel && (cd build-rel && cpack)
#
# Its run-time dependencies (libc, libstdc++, libsqlite3, libodbc) are read
# off the binaries by dpkg-shlibdeps (package dpkg-dev).

# Debian's own files: the copyright statement and a changelog, compressed as
# Debian wants them (gzip -9, no time stamp).
set(Q8_DEB_DOC ${CMAKE_CURRENT_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${Q8_DEB_DOC})
file(READ ${PROJECT_SOURCE_DIR}/LICENSE Q8_LICENSE_TEXT)
string(REGEX REPLACE "\n\n" "\n.\n" Q8_LICENSE_TEXT "${Q8_LICENSE_TEXT}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" Q8_LICENSE_TEXT "${Q8_LICENSE_TEXT}")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/copyright.in ${Q8_DEB_DOC}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/changelog.in ${Q8_DEB_DOC}/changelog @ONLY)
find_program(Q8_GZIP gzip)
if(Q8_GZIP)
  execute_process(COMMAND ${Q8_GZIP} -9nf ${Q8_DEB_DOC}/changelog RESULT_VARIABLE Q8_GZIP_RESULT)
endif()
if(EXISTS ${Q8_DEB_DOC}/changelog.gz)
  install(FILES ${Q8_DEB_DOC}/copyright ${Q8_DEB_DOC}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME q8vantorpt)
set(CPACK_PACKAGE_VENDOR "The Q8VANTORpt developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Q8VANTORpt developers <maintainers@q8vantorpt.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report middle layer of an ERP for the auto-parts trade")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "The Data and Rpt objects of the ERP's report layer build T-SQL batches (three\n"
  "consignment-stock reports, direct queries, period and catalogue lookups) and\n"
  "run them on the ERP's database: SQL Server through ODBC, or an embedded SQLite\n"
  "engine. This package holds the command-line tool q8vantorpt, the C++ and C\n"
  "library libq8vantorpt (shared and static, with CMake and pkg-config files)\n"
  "and the Python package q8vantorpt.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL runtime development python debian)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME q8vantorpt)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The linker cache is refreshed by dpkg's ldconfig trigger, not by maintainer
# scripts (which CPack would otherwise write; these do nothing).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/triggers
  ${CMAKE_CURRENT_SOURCE_DIR}/postinst ${CMAKE_CURRENT_SOURCE_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, tdsodbc, libsqlite3-dev, unixodbc-dev")
include(CPack)

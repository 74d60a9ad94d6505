# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# cmake -DSOURCE_DIR=<repository> -DWORK=<build>/sqlcipher4 -P prepare.cmake
#
# Fetches SQLCipher 4's amalgamation from the npm registry (npm pack, into WORK; nothing is kept in
# the repository) and builds the settings code against it (tests/sqlcipher4/CMakeLists.txt). What is
# fetched and built stays in WORK for the next run. Any failure (no npm, no registry) fails the
# test: it is never skipped.
set(package "@journeyapps/sqlcipher@6.0.0")  # SQLCipher 4.14
set(unpacked ${WORK}/package)
set(amalgamation ${unpacked}/deps/sqlcipher-amalgamation)

if(NOT EXISTS ${amalgamation}/sqlite3.c)
  find_program(NPM npm)
  if(NOT NPM)
    message(FATAL_ERROR "npm is needed to fetch SQLCipher 4 (scripts/install-deps sqlcipher4 installs it)")
  endif()
  file(REMOVE_RECURSE ${WORK}/download)
  file(MAKE_DIRECTORY ${WORK}/download)
  execute_process(
    COMMAND ${NPM} pack ${package} --silent --pack-destination ${WORK}/download
    WORKING_DIRECTORY ${WORK}/download
    RESULT_VARIABLE result)
  file(GLOB archive ${WORK}/download/*.tgz)
  if(NOT result EQUAL 0 OR NOT archive)
    message(FATAL_ERROR "npm pack ${package} failed (${result}): SQLCipher 4's source could not be fetched")
  endif()
  file(REMOVE_RECURSE ${unpacked})
  file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${WORK})
  if(NOT EXISTS ${amalgamation}/sqlite3.c)
    message(FATAL_ERROR "${package} holds no deps/sqlcipher-amalgamation/sqlite3.c")
  endif()
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/sqlcipher4 -B ${WORK}/build -DCMAKE_BUILD_TYPE=
          -DSQLCIPHER4_SOURCE=${amalgamation} -DRX47_SOURCE_DIR=${SOURCE_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the SQLCipher 4 build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/build -j2 RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building against SQLCipher 4 failed")
endif()

# SPDX-License-Identifier: Apache-2.0
# Fails when a source named in the file FILES (one a line) includes a header
# of ours from a folder outside ALLOWED (a ',' list of folders under the
# source root), or a cryptography library's header when CRYPTO is off.
# engine/Engine.h, the engine's vocabulary, is allowed everywhere. Run as a
# build step of each library (quorval_library in CMakeLists.txt):
#   cmake -DROOT=<source root> -DFILES=<list> -DALLOWED=engine/io,engine/core
#         -DCRYPTO=ON -DSTAMP=<file touched when all is well> -P CheckIncludes.cmake
cmake_minimum_required(VERSION 3.21)
string(REPLACE "," ";" allowed "${ALLOWED}")
file(STRINGS "${FILES}" sources)
set(failures "")
foreach(source ${sources})
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" header "${line}")
    file(RELATIVE_PATH name "${ROOT}" "${source}")
    if(header MATCHES "^(botan|openssl)/" OR header STREQUAL "zlib.h" OR header STREQUAL "argon2.h")
      if(NOT CRYPTO)
        string(APPEND failures "${name}: includes <${header}>; only the engine sees a cryptography library\n")
      endif()
      continue()
    endif()
    if(NOT line MATCHES "\"" OR header STREQUAL "engine/Engine.h")
      continue()
    endif()
    get_filename_component(folder "${header}" DIRECTORY)
    if(NOT EXISTS "${ROOT}/${header}" OR folder STREQUAL "")
      continue()
    endif()
    list(FIND allowed "${folder}" at)
    if(at EQUAL -1)
      string(APPEND failures "${name}: includes \"${header}\", from ${folder}/, which it may not use\n")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Includes that break the layers:\n${failures}")
endif()
file(TOUCH "${STAMP}")

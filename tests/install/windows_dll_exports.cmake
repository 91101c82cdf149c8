# Cross-builds dremko.dll with MinGW-w64 and checks its export table: exactly
# the eleven codec functions under undecorated names, and no dependency on a
# GCC runtime DLL that a Windows host would have to ship alongside.
include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

find_program(MINGW_GXX x86_64-w64-mingw32-g++)
find_program(MINGW_OBJDUMP x86_64-w64-mingw32-objdump)
if(NOT MINGW_GXX OR NOT MINGW_OBJDUMP)
  message("SKIPPED: MinGW-w64 is not installed "
          "(apt-get install g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)")
  return()
endif()

# The cross build tree is kept between runs, so later runs rebuild only what changed.
run_checked(out ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DDREMKO_BUILD_TESTS=OFF)
run_checked(out ${CMAKE_COMMAND} --build ${WORK} --target dremko --parallel 2)
run_checked(headers ${MINGW_OBJDUMP} -p ${WORK}/dremko.dll)

# The name table lists one "\t[ n] name" line per export, up to a blank line.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t[^\n]+\n)*" table "${headers}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" lines "${table}")
set(exports)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${line}")
  list(APPEND exports ${name})
endforeach()
list(SORT exports)
set(expected
  Dremko_DecodeFrame Dremko_EncodeFrame Dremko_InitDecoderContext Dremko_InitEncoderContext
  Dremko_SizeofDecoderContext Dremko_SizeofEncoderContext DremkoEncoder_GetEnergy DremkoEncoder_GetRP
  DremkoEncoder_GetSpeechDetect DremkoSetDecoderBitRate DremkoSetDecoderRdpBits)
list(SORT expected)
if(NOT exports STREQUAL expected)
  message(FATAL_ERROR "dremko.dll exports:\n  ${exports}\nexpected:\n  ${expected}")
endif()

if(NOT headers MATCHES "\nName[ \t]+[0-9a-f]+ dremko\\.dll\n")
  message(FATAL_ERROR "the export directory does not name the DLL dremko.dll")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  if(import MATCHES "DLL Name: lib")
    message(FATAL_ERROR "dremko.dll needs a MinGW runtime DLL: ${import}")
  endif()
endforeach()
message(STATUS "dremko.dll exports the eleven functions; it imports ${imports}")

# zlib compiled from its own C sources, for a target without a zlib package
# (the cross build). INSTALLER_ZLIB_SOURCE_DIR is an unpacked zlib source tree;
# the result stands in for find_package(ZLIB) as ZLIB::ZLIB.
set(zlibSources adler32.c crc32.c inffast.c inflate.c inftrees.c zutil.c
                deflate.c trees.c compress.c uncompr.c)
list(TRANSFORM zlibSources PREPEND "${INSTALLER_ZLIB_SOURCE_DIR}/")
foreach(source IN LISTS zlibSources)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "INSTALLER_ZLIB_SOURCE_DIR: ${source} is missing")
  endif()
endforeach()
add_library(zlib_from_source STATIC ${zlibSources})
target_include_directories(zlib_from_source SYSTEM PUBLIC "${INSTALLER_ZLIB_SOURCE_DIR}")
# Someone else's code: its warnings are not ours to fix.
target_compile_options(zlib_from_source PRIVATE -w)
add_library(ZLIB::ZLIB ALIAS zlib_from_source)
message(STATUS "zlib: built from ${INSTALLER_ZLIB_SOURCE_DIR}")

# installer_library(NAME DIR [DEPS ...]): a static library made of every .cpp in DIR.
# Every library sees the project's src/ and tools/ folders as include roots, so
# headers are included as "model/version.h", "pkgfile/part_stream.h" and so on.
function(installer_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${ex}$")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    set(scope PUBLIC)
  else()
    # A subsystem whose code has not arrived yet: headers only.
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${name} ${scope} ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tools)
  target_link_libraries(${name} ${scope} ${ARG_DEPS})
endfunction()

# installer_test(NAME DIR DEPS ... [EXCLUDE FILE ...]): one GoogleTest program of
# every .cpp in DIR but the excluded ones.
function(installer_test name dir)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${ex}$")
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_UNPARSED_ARGUMENTS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

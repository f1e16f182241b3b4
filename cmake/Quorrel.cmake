# quorrel_library(NAME [DEPS ...]): a library from every .cpp of the calling folder (recursively),
# so a new source file needs no edit here. A folder without sources yet gives an interface library.
function(quorrel_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# quorrel_test(NAME [LIBS ...]): one GoogleTest program from every .cpp of the calling folder.
# Tests run from the build folder with SDL's dummy drivers, so no desktop is needed.
function(quorrel_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QUORREL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    QUORREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUORREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  # The environment goes on through a file that CTest reads after the discovered tests: a list
  # given to gtest_discover_tests' PROPERTIES would be split into separate arguments.
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${env_file}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy;LC_ALL=C.UTF-8\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()

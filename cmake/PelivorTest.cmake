# pelivor_add_test(<name> SOURCES <files...> [LIBS <libs...>] [PROPERTIES <prop value>...])
# Builds one GoogleTest program and registers it. Natively each test case becomes a CTest test;
# under Wine the program is one CTest test inside the `wine` fixture (discovery would have to run
# Wine at build time, outside any display session). PROPERTIES go to every CTest test it makes.
function(pelivor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} pelivor_core pelivor_warnings GTest::gtest)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine RUN_SERIAL TRUE TIMEOUT 300
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ${ARG_PROPERTIES})
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
  endif()
endfunction()

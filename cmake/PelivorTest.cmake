# pelivor_add_test(<name> SOURCES <files...> [LIBS <libs...>] [PROPERTIES <prop value>...])
# Builds one GoogleTest program and registers it. Natively each test case becomes a CTest test;
# under Wine the program is one CTest test inside the `wine` fixture (discovery would have to run
# Wine at build time, outside any display session), and so under the arm64 emulator (discovery
# would run it at build time too). PROPERTIES go to every CTest test it makes.
function(pelivor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} pelivor_live pelivor_warnings GTest::gtest)
  if(WIN32)
    target_link_libraries(${name} PRIVATE pelivor_win32_shell)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine RUN_SERIAL TRUE TIMEOUT 300
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ${ARG_PROPERTIES})
  elseif(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ${ARG_PROPERTIES})
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
  endif()
endfunction()

# pelivor_add_session(<name> <script> <directory> <fixture>)
# A virtual display (and whatever the script starts with it) as a CTest fixture: <name>.start and
# <name>.stop run `<script> start|stop <directory>` around every test that requires <fixture>.
function(pelivor_add_session name script directory fixture)
  add_test(NAME ${name}.start COMMAND ${script} start ${directory})
  add_test(NAME ${name}.stop COMMAND ${script} stop ${directory})
  set_tests_properties(${name}.start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 120)
  set_tests_properties(${name}.stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 60)
endfunction()

# pelivor_add_e2e(<test name> MODULE <python module or test class>... FIXTURE <fixture>
#                 [DIRECTORY <dir>] [TIMEOUT <s>] [PYTHON <interpreter>] [ENVIRONMENT <VAR=value>...])
# One unittest module (or a few of its classes) run against a real board on a session's display.
# The boards all take port 3001, so these never run beside one another.
function(pelivor_add_e2e name)
  cmake_parse_arguments(ARG "" "FIXTURE;DIRECTORY;TIMEOUT;PYTHON" "MODULE;ENVIRONMENT" ${ARGN})
  if(NOT ARG_DIRECTORY)
    set(ARG_DIRECTORY ${PROJECT_SOURCE_DIR}/tests/e2e)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  if(NOT ARG_PYTHON)
    set(ARG_PYTHON python3)
  endif()
  add_test(NAME ${name}
    COMMAND ${ARG_PYTHON} -m unittest -v ${ARG_MODULE}
    WORKING_DIRECTORY ${ARG_DIRECTORY})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED ${ARG_FIXTURE} RUN_SERIAL TRUE TIMEOUT ${ARG_TIMEOUT} RESOURCE_LOCK port3001
    ENVIRONMENT "PELIVOR_BUILD=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1;${ARG_ENVIRONMENT}")
endfunction()

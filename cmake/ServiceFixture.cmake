# The local service as a CTest fixture. `service_up` starts service/start on free
# ports with a fresh data folder and writes the hosts to service.env; tests that
# need it are added with tarnwick_add_service_test and run with those variables
# in their environment; `service_down` stops it.
set(TARNWICK_SERVICE_DIR ${CMAKE_BINARY_DIR}/service-fixture)
set(TARNWICK_SERVICE_ENV ${TARNWICK_SERVICE_DIR}/service.env)

if(EXISTS ${PROJECT_SOURCE_DIR}/service/start)
add_test(NAME service_up
         COMMAND ${PROJECT_SOURCE_DIR}/tests/fixtures/service_up.sh ${TARNWICK_SERVICE_DIR})
add_test(NAME service_down
         COMMAND ${PROJECT_SOURCE_DIR}/tests/fixtures/service_down.sh ${TARNWICK_SERVICE_DIR})
set_tests_properties(service_up PROPERTIES FIXTURES_SETUP tarnwick_service TIMEOUT 60)
set_tests_properties(service_down PROPERTIES FIXTURES_CLEANUP tarnwick_service TIMEOUT 30)
endif()

# tarnwick_add_service_test(NAME <name> COMMAND <cmd> [args...] [TIMEOUT <s>] [ENVIRONMENT <k=v>...])
function(tarnwick_add_service_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${ARG_NAME}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/fixtures/with_service.sh ${TARNWICK_SERVICE_ENV} ${ARG_COMMAND})
  set_tests_properties(${ARG_NAME} PROPERTIES FIXTURES_REQUIRED tarnwick_service TIMEOUT ${ARG_TIMEOUT}
                       RESOURCE_LOCK tarnwick_service_data)
  if(ARG_ENVIRONMENT)
    set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
endfunction()

# A service instance of a test's own (tests/fixtures/service_process.h): its
# own data folder, environment and ports, started, killed and restarted by
# the test itself; such a test needs no fixture.
add_library(tarnwick_service_process INTERFACE)
target_include_directories(tarnwick_service_process INTERFACE ${PROJECT_SOURCE_DIR}/tests/fixtures)
target_compile_definitions(tarnwick_service_process INTERFACE
                           TARNWICK_SERVICE_START="${PROJECT_SOURCE_DIR}/service/start")

# tarnwick-cli: every .cpp of src/cli/, linked with tarnwick_core only.
find_package(CLI11 REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
# libsecret-1 (C API) keeps the session cookie in the Secret Service keyring;
# without it the program keeps the cookie in its session file only.
pkg_check_modules(LIBSECRET IMPORTED_TARGET libsecret-1)

file(GLOB TARNWICK_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/cli/*.cpp)
add_executable(tarnwick-cli ${TARNWICK_CLI_SOURCES})
target_link_libraries(tarnwick-cli PRIVATE tarnwick_core CLI11::CLI11 nlohmann_json::nlohmann_json)
if(LIBSECRET_FOUND)
  target_link_libraries(tarnwick-cli PRIVATE PkgConfig::LIBSECRET)
  target_compile_definitions(tarnwick-cli PRIVATE TARNWICK_HAVE_LIBSECRET=1)
endif()
# No Qt tooling either: the Qt block of the top level turns it on for later targets.
set_target_properties(tarnwick-cli PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

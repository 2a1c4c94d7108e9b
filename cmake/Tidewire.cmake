# Helpers shared by every folder.
#
# tidewire_library(<folder> [DEPS ...]) builds src/<folder> into the static
# library tidewire_<folder> from every .cpp/.h in the folder. Headers are
# included as "<folder>/Header.h" from the src/ root.
function(tidewire_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX ".*/main\\.cpp$")
  add_library(tidewire_${folder} STATIC ${sources})
  target_include_directories(tidewire_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tidewire_${folder} PUBLIC ${ARG_DEPS})
endfunction()

# tidewire_test(<name> [DEPS ...] [PROPERTIES ...]) builds one test executable
# <name>_tests from every .cpp in the current folder, with the shared test main.
function(tidewire_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_executable(${name}_tests ${sources})
  target_link_libraries(${name}_tests PRIVATE tidewire_testsupport ${ARG_DEPS})
  target_compile_definitions(${name}_tests PRIVATE
      TIDEWIRE_FIXTURES_DIR="${CMAKE_CURRENT_SOURCE_DIR}/fixtures")
  gtest_discover_tests(${name}_tests
      DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endfunction()

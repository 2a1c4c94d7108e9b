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

# Precompiled headers. GCC can load a precompiled header only into a
# compilation with the same options, so every target that can shares one of
# two: the libraries and programs reuse tidewire_platform's, the test programs
# and benchmarks (everything linking tidewire_testsupport) reuse
# tidewire_testsupport's. CMake passes -Winvalid-pch, so a header that cannot
# be used shows up as a warning. Off with -DTIDEWIRE_PCH=OFF: then every file
# has to include what it uses.
set(TIDEWIRE_LIBRARY_PCH
    <QObject> <QString> <QList> <QHash> <QJsonObject> <QJsonArray> <QJsonValue>
    <QDateTime> <QUrl> <QPointer> <QTimer> <QWidget> <QPainter>
    <algorithm> <cmath> <expected> <optional> <functional> <memory> <stop_token>)
set(TIDEWIRE_TEST_PCH
    <gtest/gtest.h> <gmock/gmock.h> <QTest> <QSignalSpy> <QTemporaryDir> <QJsonDocument>
    <QNetworkAccessManager> <QApplication>)

# Every target defined in <dir> and the folders below it.
function(_tidewire_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _tidewire_targets_below(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Called once, after every folder is added.
function(tidewire_share_precompiled_headers)
  if(NOT TIDEWIRE_PCH)
    return()
  endif()
  target_precompile_headers(tidewire_platform PRIVATE ${TIDEWIRE_LIBRARY_PCH})
  set(test_pch_targets)
  if(TARGET tidewire_testsupport)
    target_precompile_headers(tidewire_testsupport PRIVATE ${TIDEWIRE_LIBRARY_PCH} ${TIDEWIRE_TEST_PCH})
    list(APPEND test_pch_targets tidewire_testsupport)
  endif()
  _tidewire_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$"
       OR target STREQUAL "tidewire_platform" OR target STREQUAL "tidewire_testsupport")
      continue()
    endif()
    get_target_property(libs ${target} LINK_LIBRARIES)
    if("tidewire_testsupport" IN_LIST libs)
      target_precompile_headers(${target} REUSE_FROM tidewire_testsupport)
      list(APPEND test_pch_targets ${target})
    elseif(libs MATCHES "tidewire_")
      target_precompile_headers(${target} REUSE_FROM tidewire_platform)
    endif()
  endforeach()
  # Qt's test library defines these per folder, and its header tests them, so
  # they would make the shared header unusable in all folders but one. The
  # tests use GoogleTest and never QFINDTESTDATA, which is all they serve.
  foreach(target IN LISTS test_pch_targets)
    target_compile_options(${target} PRIVATE -UQT_TESTCASE_BUILDDIR -UQT_TESTCASE_SOURCEDIR)
  endforeach()
endfunction()

# Called once, after every folder is added: targets (tests, benchmarks,
# tools) whose sources declare no Qt meta-object get no moc step, which would
# otherwise compile an empty file against the precompiled header for each.
function(tidewire_skip_needless_moc)
  _tidewire_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(automoc ${target} AUTOMOC)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY)$" OR NOT automoc)
      continue()
    endif()
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    set(needed FALSE)
    foreach(source IN LISTS sources)
      if(NOT IS_ABSOLUTE "${source}")
        set(source "${dir}/${source}")
      endif()
      # AUTOMOC also reads the header beside each source file.
      string(REGEX REPLACE "\\.cpp$" ".h" header "${source}")
      foreach(file IN ITEMS "${source}" "${header}")
        if(EXISTS "${file}" AND NOT IS_DIRECTORY "${file}")
          file(STRINGS "${file}" declares REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE|Q_PLUGIN_METADATA|\\.moc\"")
          if(declares)
            set(needed TRUE)
          endif()
        endif()
      endforeach()
    endforeach()
    if(NOT needed)
      set_target_properties(${target} PROPERTIES AUTOMOC OFF)
    endif()
  endforeach()
endfunction()

# Helpers shared by every folder.
#
# tidewire_library(<name> [DEPS ...]) builds the current folder (src/<folder>,
# or a room src/platform/<room> named platform_<room>) into the static library
# tidewire_<name> from every .cpp/.h in the folder. Headers are included by
# their path from the src/ root: "store/FeedStore.h",
# "platform/storage/Defaults.h". DEPS names every library the folder's code
# uses, ours and the system's; tidewire_check_includes() holds it to that.
function(tidewire_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX ".*/main\\.cpp$")
  add_library(tidewire_${name} STATIC ${sources})
  target_include_directories(tidewire_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tidewire_${name} PUBLIC ${ARG_DEPS})
  set_property(GLOBAL APPEND PROPERTY TIDEWIRE_LIBRARIES tidewire_${name})
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
# two: the libraries and programs reuse tidewire_pch's (a library of nothing
# else, so that the rooms below the widgets need not link them), the test
# programs and benchmarks (everything linking tidewire_testsupport) reuse
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
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/pch/pch.cpp CONTENT "")
  add_library(tidewire_pch STATIC ${PROJECT_BINARY_DIR}/pch/pch.cpp)
  set_target_properties(tidewire_pch PROPERTIES AUTOMOC OFF)
  # GCC takes the header only into compilations that define at least the
  # macros it was made with, and the rooms below the widgets define no
  # QT_WIDGETS_LIB: the widgets' headers are found, their definitions left out.
  target_link_libraries(tidewire_pch PRIVATE Qt6::Core)
  target_include_directories(tidewire_pch PRIVATE
      $<TARGET_PROPERTY:Qt6::Gui,INTERFACE_INCLUDE_DIRECTORIES>
      $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>)
  target_precompile_headers(tidewire_pch PRIVATE ${TIDEWIRE_LIBRARY_PCH})
  set(test_pch_targets)
  if(TARGET tidewire_testsupport)
    target_precompile_headers(tidewire_testsupport PRIVATE ${TIDEWIRE_LIBRARY_PCH} ${TIDEWIRE_TEST_PCH})
    list(APPEND test_pch_targets tidewire_testsupport)
  endif()
  _tidewire_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$"
       OR target STREQUAL "tidewire_pch" OR target STREQUAL "tidewire_testsupport")
      continue()
    endif()
    get_target_property(libs ${target} LINK_LIBRARIES)
    if("tidewire_testsupport" IN_LIST libs)
      target_precompile_headers(${target} REUSE_FROM tidewire_testsupport)
      list(APPEND test_pch_targets ${target})
    elseif(libs MATCHES "tidewire_")
      target_precompile_headers(${target} REUSE_FROM tidewire_pch)
    endif()
  endforeach()
  # Qt's test library defines these per folder, and its header tests them, so
  # they would make the shared header unusable in all folders but one. The
  # tests use GoogleTest and never QFINDTESTDATA, which is all they serve.
  foreach(target IN LISTS test_pch_targets)
    target_compile_options(${target} PRIVATE -UQT_TESTCASE_BUILDDIR -UQT_TESTCASE_SOURCEDIR)
  endforeach()
endfunction()

# The system headers that lie on no library's own include path, and the
# library each belongs to: "<regular expression>=<target>". Qt's headers are
# found in the Qt modules' own folders.
set(TIDEWIRE_SYSTEM_HEADERS
    "^xcb/=PkgConfig::XCB" "^X11/extensions/scrnsaver\\.h$=PkgConfig::XSS" "^X11/=PkgConfig::XLIB"
    "^libsecret/=PkgConfig::LIBSECRET" "^(zlib|zstd)\\.h$=PkgConfig::CODINGS" "^brotli/=PkgConfig::CODINGS"
    "^unicode/=PkgConfig::ICU" "^expat\\.h$=PkgConfig::EXPAT" "^(qcoro/|QCoro)=QCoro6::Core")
set(TIDEWIRE_QT_MODULES Core Gui Widgets Network DBus Svg Concurrent Test)

# <target> and every library it links, through the libraries it links.
function(_tidewire_linked target out)
  set(seen ${target})
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    get_target_property(imported ${current} IMPORTED)
    if(imported)
      get_target_property(libs ${current} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(libs ${current} LINK_LIBRARIES)
    endif()
    foreach(lib IN LISTS libs)
      # An imported target defined in a folder is not seen from here, but
      # still counts by its name.
      if(NOT lib MATCHES "^\\$<" AND NOT lib IN_LIST seen)
        list(APPEND seen ${lib})
        if(TARGET "${lib}")
          list(APPEND queue ${lib})
        endif()
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Called once, after every folder is added: each of our libraries may include
# only headers of the libraries it links, directly or through another: the
# headers of another folder or room of ours, of a Qt module, or of a system
# library (TIDEWIRE_SYSTEM_HEADERS). All of them lie on the include path
# whether linked or not, and a library links nothing itself, so neither the
# compiler nor the linker would notice; configuring fails instead.
function(tidewire_check_includes)
  get_property(libraries GLOBAL PROPERTY TIDEWIRE_LIBRARIES)
  get_target_property(qt_dirs Qt6::Core INTERFACE_INCLUDE_DIRECTORIES)
  list(FILTER qt_dirs EXCLUDE REGEX "/QtCore$")
  list(GET qt_dirs 0 qt_root)
  foreach(library IN LISTS libraries)
    get_target_property(dir ${library} SOURCE_DIR)
    set(owner_${library} "${dir}/")
  endforeach()
  set(faults)
  foreach(library IN LISTS libraries)
    _tidewire_linked(${library} linked)
    get_target_property(dir ${library} SOURCE_DIR)
    get_target_property(sources ${library} SOURCES)
    foreach(source IN LISTS sources)
      if(NOT IS_ABSOLUTE "${source}")
        set(source "${dir}/${source}")
      endif()
      if(NOT source MATCHES "\\.(h|cpp)$")
        continue()
      endif()
      file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
      foreach(line IN LISTS lines)
        if(NOT line MATCHES "include[ \t]*([<\"])([^>\"]+)")
          continue()
        endif()
        set(header "${CMAKE_MATCH_2}")
        set(owner)
        if(CMAKE_MATCH_1 STREQUAL "\"")
          # Ours: the library whose folder holds the header, the deepest one.
          if(header MATCHES "/" AND EXISTS "${PROJECT_SOURCE_DIR}/src/${header}")
            set(depth 0)
            foreach(candidate IN LISTS libraries)
              string(LENGTH "${owner_${candidate}}" length)
              string(FIND "${PROJECT_SOURCE_DIR}/src/${header}" "${owner_${candidate}}" at)
              if(at EQUAL 0 AND length GREATER depth)
                set(owner ${candidate})
                set(depth ${length})
              endif()
            endforeach()
          endif()
        elseif(header MATCHES "^Qt([A-Za-z]+)/")
          set(owner Qt6::${CMAKE_MATCH_1})
        else()
          foreach(entry IN LISTS TIDEWIRE_SYSTEM_HEADERS)
            string(FIND "${entry}" "=" at REVERSE)
            string(SUBSTRING "${entry}" 0 ${at} pattern)
            math(EXPR at "${at} + 1")
            string(SUBSTRING "${entry}" ${at} -1 target)
            if(header MATCHES "${pattern}")
              set(owner ${target})
              break()
            endif()
          endforeach()
          if(NOT owner AND header MATCHES "^Q[A-Za-z]*$")
            foreach(module IN LISTS TIDEWIRE_QT_MODULES)
              if(EXISTS "${qt_root}/Qt${module}/${header}")
                set(owner Qt6::${module})
                break()
              endif()
            endforeach()
          endif()
        endif()
        if(owner AND NOT owner IN_LIST linked)
          file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${source})
          list(APPEND faults "${shown} includes ${header} of ${owner}, which ${library} does not link")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(faults)
    list(JOIN faults "\n  " shown)
    message(FATAL_ERROR "Includes of libraries not linked:\n  ${shown}")
  endif()
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

# tidewell_library(NAME SOURCES ... [LIBS ...]): a static library whose folder is
# its include root's parent, so code includes "foundation/Log.h", "core/AppStore.h".
function(tidewell_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
  target_include_directories(${name} PUBLIC ${parent})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# tidewell_executable(NAME SOURCES ... [LIBS ...]): an executable of the bundle,
# placed in Tidewell/bin.
function(tidewell_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TIDEWELL_BIN_DIR})
endfunction()

# tidewell_test(NAME SOURCES ... [LIBS ...] [QT]): one GoogleTest program, its
# cases registered with CTest. QT gives it the offscreen platform.
function(tidewell_test name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/Tests/TestEnvironment.cpp)
  target_compile_definitions(${name} PRIVATE TIDEWELL_BUILT_BUNDLE="${TIDEWELL_BUNDLE_DIR}"
    TIDEWELL_BUILT_SOURCE="${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(NOT ARG_QT)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/Tests)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # The environment goes through a launcher: gtest_discover_tests splits an
  # ENVIRONMENT list into separate properties, and discovery needs it as well.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;QT_QPA_PLATFORM=offscreen;TIDEWELL_BUNDLE=${TIDEWELL_BUNDLE_DIR};TIDEWELL_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 300)
endfunction()

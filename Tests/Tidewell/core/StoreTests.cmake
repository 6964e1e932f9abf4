# The store's tests (included by this folder's CMakeLists).
if(TARGET tidewell_core)
  tidewell_test(tidewell_store_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/StoreTestMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ModelTextsTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/AppFilesTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/EngineDatabaseTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/StoreRulesTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ScanRootsTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/AppStoreTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/LaunchRestoreTests.cpp
    LIBS tidewell_core QT)
endif()

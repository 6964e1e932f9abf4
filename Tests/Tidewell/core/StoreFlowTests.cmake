# Folder access, scans, cleans and schedules of the store, end to end with the
# real engine (included by this folder's CMakeLists).
if(TARGET tidewell_core)
  tidewell_test(tidewell_store_flow_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/StoreTestMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/FolderAccessTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ScanProgressTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/CleanFlowTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/SchedulesTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/AppUpdaterTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/EndToEndTests.cpp
    LIBS tidewell_core QT)
  if(TARGET tidewell-engine)
    add_dependencies(tidewell_store_flow_tests tidewell-engine)
  endif()
endif()

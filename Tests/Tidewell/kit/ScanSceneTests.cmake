# The growing-forest scan scene: drawing geometry, pictures, and the scan page.
if(TARGET tidewell_kit)
  tidewell_test(tidewell_scan_scene_tests QT
    SOURCES
      ${CMAKE_SOURCE_DIR}/Tests/Tidewell/AppTestMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ScanSceneDrawingTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/GrowingScanCanvasTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ScanSceneCacheTests.cpp
    LIBS tidewell_kit)
endif()
# The scan page, when the view layer has its timelines, animations and scroll views.
if(TARGET tidewell_kit AND EXISTS ${CMAKE_SOURCE_DIR}/Platform/ui/TimelineView.h
   AND EXISTS ${CMAKE_SOURCE_DIR}/Platform/ui/Animation.h AND EXISTS ${CMAKE_SOURCE_DIR}/Platform/ui/ScrollView.h)
  tidewell_test(tidewell_scan_page_tests QT
    SOURCES
      ${CMAKE_SOURCE_DIR}/Tests/Tidewell/AppTestMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/GrowingScanHeroTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/GrowingScanSideTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/GrowingScanViewTests.cpp
    LIBS tidewell_kit)
  add_dependencies(tidewell_scan_page_tests tidewell_resources)
endif()

# The growing-forest scan scene: drawing geometry, pictures, and the scan page.
if(TARGET tidewell_kit)
  tidewell_test(tidewell_scan_scene_tests QT
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/KitTestMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/ScanSceneDrawingTests.cpp
      ${CMAKE_CURRENT_LIST_DIR}/GrowingScanCanvasTests.cpp
    LIBS tidewell_kit)
endif()

# The growing-forest scan scene: the shared tree palette and drawing functions,
# the scene canvas, and the scan page with its hero and side panel.
if(TARGET tidewell_kit)
  target_sources(tidewell_kit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TreePalette.cpp ${CMAKE_CURRENT_LIST_DIR}/TreePalette.h
    ${CMAKE_CURRENT_LIST_DIR}/ScanSceneDrawing.cpp ${CMAKE_CURRENT_LIST_DIR}/ScanSceneDrawing.h
    ${CMAKE_CURRENT_LIST_DIR}/GrowingScanCanvas.cpp ${CMAKE_CURRENT_LIST_DIR}/GrowingScanCanvas.h)
endif()

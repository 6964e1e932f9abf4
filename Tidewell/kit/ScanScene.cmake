# The growing-forest scan scene: the shared tree palette and drawing functions,
# the scene canvas, and the scan page with its hero and side panel.
if(TARGET tidewell_kit)
  target_sources(tidewell_kit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TreePalette.cpp ${CMAKE_CURRENT_LIST_DIR}/TreePalette.h
    ${CMAKE_CURRENT_LIST_DIR}/ScanSceneDrawing.cpp ${CMAKE_CURRENT_LIST_DIR}/ScanSceneDrawing.h
    ${CMAKE_CURRENT_LIST_DIR}/GrowingScanCanvas.cpp ${CMAKE_CURRENT_LIST_DIR}/GrowingScanCanvas.h)
endif()
# The scan page needs the view layer's timelines, animations and scroll views.
if(TARGET tidewell_kit AND EXISTS ${CMAKE_SOURCE_DIR}/Platform/ui/TimelineView.h
   AND EXISTS ${CMAKE_SOURCE_DIR}/Platform/ui/Animation.h AND EXISTS ${CMAKE_SOURCE_DIR}/Platform/ui/ScrollView.h)
  target_sources(tidewell_kit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/GrowingScanHero.cpp ${CMAKE_CURRENT_LIST_DIR}/GrowingScanHero.h
    ${CMAKE_CURRENT_LIST_DIR}/GrowingScanSide.cpp ${CMAKE_CURRENT_LIST_DIR}/GrowingScanSide.h
    ${CMAKE_CURRENT_LIST_DIR}/GrowingScanView.cpp ${CMAKE_CURRENT_LIST_DIR}/GrowingScanView.h)
endif()

# Windows of the view layer, the tray item, the save panel and the cursor
# (included by this folder's CMakeLists).
if(TARGET platform_desktop)
  target_sources(platform_desktop PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatusItem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SavePanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Cursor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Appearance.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ApplicationMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TestProbe.cpp)
  target_link_libraries(platform_desktop PUBLIC platform_ui Qt6::Widgets PRIVATE xcb Qt6::Network)
endif()

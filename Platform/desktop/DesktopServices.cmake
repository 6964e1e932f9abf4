# Folder panels, the login item, the wake observer and the look at a bus (included by this folder's CMakeLists).
if(TARGET platform_desktop)
  target_sources(platform_desktop PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/OpenPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LoginItem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WakeObserver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BusProbe.cpp)
  set_target_properties(platform_desktop PROPERTIES AUTOMOC ON)
  target_link_libraries(platform_desktop PUBLIC platform_foundation Qt6::Widgets Qt6::DBus)
endif()

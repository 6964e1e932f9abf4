# The store, its files and shared model types (included by this folder's CMakeLists).
if(TARGET tidewell_core)
  target_sources(tidewell_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AppFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppStore+Bootstrap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppStore+Clean.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppStore+Folders.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppStore+Scan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppStore+Schedules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppUpdater.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CleanRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FolderAccess.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FolderLook.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LoginItemService.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScanProgressRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScheduleRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EngineDatabase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LaunchRestore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModelTexts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProtectedStacks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScanRoots.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShareMounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellServices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StoreRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VolumeSpace.cpp)
  target_link_libraries(tidewell_core PUBLIC platform_runtime platform_desktop tidewell_social tidewell_character Qt6::Core Qt6::Gui)
endif()

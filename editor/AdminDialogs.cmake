# Sources of this group of dialogs, added to plover_dialogs.
target_sources(
  plover_dialogs
  PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AdminDlg.cpp
          ${CMAKE_CURRENT_LIST_DIR}/CopyDlg.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VersionDlg.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VersionInfo.cpp
          ${CMAKE_CURRENT_LIST_DIR}/EditorDialog.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TitleCheck.cpp)
target_link_libraries(plover_dialogs PUBLIC version)
# The tests need dialoghost, which the editor folder defines after this file.
cmake_language(DEFER CALL include ${CMAKE_CURRENT_LIST_DIR}/tests/AdminDialogsTests.cmake)

# Sources of this group of dialogs, added to plover_dialogs: the save
# settings page with its access setting dialog and folder browser, and the
# file format option dialogs.
target_sources(plover_dialogs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SavePage.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/SavePageDialogs.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/FormatDialogs.cpp)

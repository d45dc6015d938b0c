# Sources of this group of dialogs, added to plover_dialogs: the New/Editing
# dialog, which drives its own scan engine for the data source's settings.
target_sources(plover_dialogs PRIVATE JobEditDlg.cpp)
target_link_libraries(plover_dialogs PUBLIC vlm_scan)

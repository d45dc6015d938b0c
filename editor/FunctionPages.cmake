# Sources of this group of dialogs, added to plover_dialogs: the mail, print
# and application pages and the mail address list.
target_sources(plover_dialogs PRIVATE FunctionPage.cpp MailSettingPage.cpp MailAddressDlg.cpp PrintSettingPage.cpp
                                      AppSettingPage.cpp)

# The pages under Wine, shown by dialoghost and driven by the UI robot; the
# store is the test's own, the printers are the prefix's PostScript printers.
vlm_gtest(function_pages_test SOURCES tests/function_pages_test.cpp
          ${CMAKE_SOURCE_DIR}/runner/tests/ProcessDriver.cpp ${CMAKE_SOURCE_DIR}/runner/tests/PrintTestPages.cpp
          LIBS vlm_common vlm_uirobot vx410sim vlm_imaging_core winspool TIMEOUT 600)
target_include_directories(function_pages_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/res
                                                       ${CMAKE_SOURCE_DIR}/runner/tests)
target_compile_definitions(function_pages_test PRIVATE DIALOGHOST_EXE="$<TARGET_FILE:dialoghost>"
                                                       PLOVERCTL_EXE="$<TARGET_FILE:ploverctl>")
add_dependencies(function_pages_test dialoghost ploverctl Plover Taskstore ps-printer-setup)

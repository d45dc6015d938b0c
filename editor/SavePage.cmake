# Sources of this group of dialogs, added to plover_dialogs: the save
# settings page with its access setting dialog and folder browser, and the
# file format option dialogs.
target_sources(plover_dialogs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SavePage.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/SavePageDialogs.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/FormatDialogs.cpp)

# The page and its dialogs driven through dialoghost by the UI robot.
vlm_gtest(savepage_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/savepage_test.cpp
          ${CMAKE_SOURCE_DIR}/runner/tests/ProcessDriver.cpp
          LIBS vlm_common vlm_framework vlm_uirobot taskstore_idl TIMEOUT 600)
target_include_directories(savepage_test PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR}/res)
target_compile_definitions(savepage_test PRIVATE VLM_DIALOGHOST="$<TARGET_FILE:dialoghost>")
add_dependencies(savepage_test dialoghost ploverctl Plover Taskstore taskstore vlmloc zxdloc)

# Reads and clicks a page's controls from scripts: the German page below and
# the screenshots (tools/savepage-screenshots.sh).
add_executable(pageprobe ${CMAKE_CURRENT_LIST_DIR}/tests/pageprobe.cpp)
target_link_libraries(pageprobe PRIVATE vlm_uirobot)

# A German user: the locale comes from the Unix environment of the Wine
# process, so a script starts the host.
vlm_add_wine_script_test(savepage_german_test ${CMAKE_CURRENT_LIST_DIR}/tests/savepage_german.sh)

# The New/Editing dialog's tests: stand-in pages in the test host, and the
# dialog driven through the host and through the COM class (ploverctl) under Wine, once more with a Japanese user
# locale for the title rules of Japanese systems.
target_sources(dialoghost PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests/jobedit_testpage.cpp
                                  ${CMAKE_CURRENT_SOURCE_DIR}/tests/jobedit_testpage.rc)
vlm_gtest(jobedit_test SOURCES tests/jobedit_test.cpp ${CMAKE_SOURCE_DIR}/runner/tests/ProcessDriver.cpp
          LIBS vlm_uirobot vlm_common ole32 oleaut32 uuid TIMEOUT 290)
target_include_directories(jobedit_test PRIVATE ${CMAKE_SOURCE_DIR}/runner/tests ${CMAKE_SOURCE_DIR}/tests/tools
                                                ${CMAKE_CURRENT_SOURCE_DIR}/res ${CMAKE_CURRENT_SOURCE_DIR}/tests)
target_compile_definitions(jobedit_test PRIVATE DIALOGHOST_EXE="$<TARGET_FILE:dialoghost>"
                                               PLOVERCTL_EXE="$<TARGET_FILE:ploverctl>")
add_dependencies(jobedit_test dialoghost ploverctl Plover vx410ds)
vlm_add_wine_test(jobedit_japanese_test COMMAND jobedit_test --gtest_filter=*Japanese* TIMEOUT 120)
set_tests_properties(jobedit_japanese_test PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8;JOBEDIT_JAPANESE=1")

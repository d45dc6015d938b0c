# Tests of the copy, version and administrator dialogs: they drive
# dialoghost.exe (and a copy of it that has a version resource) as a user
# would and check the store from their own process. Included at the end of
# the editor folder, once dialoghost exists.
# The same host with a version resource: whatever dialoghost is built from.
get_target_property(host_sources dialoghost SOURCES)
get_target_property(host_includes dialoghost INCLUDE_DIRECTORIES)
add_executable(dialoghost_versioned ${host_sources} ${CMAKE_CURRENT_LIST_DIR}/versionhost.rc)
target_link_libraries(dialoghost_versioned PRIVATE plover_dialogs)
target_include_directories(dialoghost_versioned PRIVATE ${host_includes})
set_target_properties(dialoghost_versioned PROPERTIES LINK_FLAGS "-mwindows -mconsole")
add_dependencies(dialoghost_versioned plover_idl_gen)

vlm_gtest(admin_dialogs_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/admin_dialogs_test.cpp
          ${CMAKE_SOURCE_DIR}/runner/tests/ProcessDriver.cpp
          LIBS plover_dialogs vlm_uirobot ole32 oleaut32 uuid TIMEOUT 400)
target_include_directories(admin_dialogs_test PRIVATE ${CMAKE_SOURCE_DIR}/runner/tests
                                                      ${CMAKE_SOURCE_DIR}/tests/tools)
add_dependencies(admin_dialogs_test dialoghost dialoghost_versioned Taskstore)

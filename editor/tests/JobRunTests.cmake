# A job made through the editor's COM class with the real pages, then run by
# kestrel on the simulated scanner; the saved files read by native peer tools.
vlm_gtest(plover_job_program_test SOURCES tests/job_run_program_test.cpp
          ${CMAKE_SOURCE_DIR}/runner/tests/ProcessDriver.cpp
          LIBS vx410sim vlm_common vlm_framework vlm_uirobot TIMEOUT 300)
target_include_directories(plover_job_program_test PRIVATE ${CMAKE_SOURCE_DIR}
                           ${CMAKE_SOURCE_DIR}/runner/tests ${CMAKE_CURRENT_SOURCE_DIR}/res)
target_compile_definitions(plover_job_program_test PRIVATE
                           PLUGIN_INITIAL_SETTINGS="${CMAKE_SOURCE_DIR}/plugin/res/InitialDriverSettings.ini")
# Everything the job meets on its way, installed in the prefix by the lane's set-up.
add_dependencies(plover_job_program_test ploverctl Plover Taskstore taskstore VX410 kestrel
                 scanner-service vx410 slmsg devlink vx410ds vlmjpeg pafcv2 vlmloc zxdloc)

# The Windows scan engine (included from scan/CMakeLists.txt).
add_library(vlm_scan STATIC Twain.cpp TwainDriver.cpp Scan.cpp ScanSupport.cpp)
target_include_directories(vlm_scan PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
target_link_libraries(vlm_scan PUBLIC vlm_scan_core vlm_framework user32 gdi32 ole32)
if(TARGET vlm_common)
  target_link_libraries(vlm_scan PUBLIC vlm_common)
  target_compile_definitions(vlm_scan PRIVATE VLM_SCAN_HAVE_COMMON)
endif()

# End-to-end tests through the platform's source manager and the VX-410
# data source over the simulated feeder (both folders come after this one).
if(TARGET vlm_common AND TARGET vlmjpeg_core AND "components/vx410sim" IN_LIST VLM_DIRS
   AND "components/vx410ds" IN_LIST VLM_DIRS)
  vlm_gtest(scan_engine_test SOURCES tests/scan_engine_test.cpp
            LIBS vlm_scan vlm_common vx410sim vlmjpeg_core TIMEOUT 900)
  if(TARGET scan_engine_test)
    # The data source must be built before the prefix is set up.
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL add_dependencies scan_engine_test vx410ds)
  endif()
endif()

# The Windows scan engine (included from scan/CMakeLists.txt).
add_library(vlm_scan STATIC Twain.cpp TwainDriver.cpp Scan.cpp ScanSupport.cpp)
target_include_directories(vlm_scan PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
target_link_libraries(vlm_scan PUBLIC vlm_scan_core vlm_framework user32 gdi32 ole32)
if(TARGET vlm_common)
  target_link_libraries(vlm_scan PUBLIC vlm_common)
  target_compile_definitions(vlm_scan PRIVATE VLM_SCAN_HAVE_COMMON)
endif()

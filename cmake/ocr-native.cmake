# The text recognition engine for the host build: Debian's Tesseract and
# Leptonica (libtesseract-dev, libleptonica-dev) as target vlm_ocr_engine.
# Without them the PDF maker is built without recognition and says so at run time.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VLM_TESSERACT IMPORTED_TARGET tesseract lept)
if(VLM_TESSERACT_FOUND)
  add_library(vlm_ocr_engine INTERFACE)
  target_link_libraries(vlm_ocr_engine INTERFACE PkgConfig::VLM_TESSERACT)
  # Debian's language packages (tesseract-ocr-<lang>) put their data here.
  set(VLM_TESSDATA_DEFAULT "/usr/share/tesseract-ocr/5/tessdata" CACHE PATH
      "Recognition language data when VLM_TESSDATA is not set")
  target_compile_definitions(vlm_ocr_engine INTERFACE
                             VLM_TESSDATA_DEFAULT="${VLM_TESSDATA_DEFAULT}")
else()
  message(STATUS "tesseract/lept not found: the PDF maker is built without text recognition")
endif()

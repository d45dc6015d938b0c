# The OCR engine for the Windows build: Leptonica and Tesseract, built as
# static libraries with this tree's MinGW-w64 toolchain from Debian's source
# packages (tools/ocr-engine/build-mingw-ocr.sh) into a prefix beside the build
# tree, named by the source versions and flags. The prefix survives a
# reconfigure and a fresh build tree; a build whose prefix is complete does
# nothing.
#
#   vlm_ocr_engine   INTERFACE target: the engine's headers (<tesseract/...>,
#                    <leptonica/...>), its static libraries and the system
#                    libraries they need. Linking it adds no run-time DLL.
#
# Language data is not built: the packages' *.traineddata files are found
# at run time in "<folder of pafcv2.dll>\tessdata", or in VLM_TESSDATA.
# Debian's language data (tesseract-ocr-<lang>), which the package carries and
# the tests read.
set(VLM_TESSDATA_DIR /usr/share/tesseract-ocr/5/tessdata CACHE PATH
    "Debian's Tesseract language data")
set(VLM_MINGW_DEPS_DIR "${CMAKE_SOURCE_DIR}/build/mingw-deps" CACHE PATH
    "Where the OCR engine for the Windows build is built and kept")
set(_vlm_ocr_script ${CMAKE_SOURCE_DIR}/tools/ocr-engine/build-mingw-ocr.sh)
execute_process(COMMAND bash ${_vlm_ocr_script} --key ${VLM_MINGW_DEPS_DIR}
                OUTPUT_VARIABLE VLM_OCR_ENGINE_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_VARIABLE _vlm_ocr_error RESULT_VARIABLE _vlm_ocr_rc)
if(NOT _vlm_ocr_rc EQUAL 0)
  message(FATAL_ERROR "OCR engine: ${_vlm_ocr_error}")
endif()

# The same compiler launcher as the tree (ccache), so that a fresh prefix
# after a cold start is cheap.
set(_vlm_ocr_launcher "${CMAKE_CXX_COMPILER_LAUNCHER}")
if(NOT _vlm_ocr_launcher)
  find_program(_vlm_ocr_ccache ccache)
  if(_vlm_ocr_ccache)
    set(_vlm_ocr_launcher ${_vlm_ocr_ccache})
  endif()
endif()
# Parallel jobs of the engine's build; VLM_OCR_JOBS in the environment of
# the build (the Makefile passes JOBS) wins.
set(VLM_OCR_JOBS 2 CACHE STRING "Parallel jobs for building the OCR engine")

set(_vlm_ocr_stamp ${VLM_OCR_ENGINE_PREFIX}/stamp)
add_custom_command(
  OUTPUT ${_vlm_ocr_stamp}
  COMMAND bash ${_vlm_ocr_script} --build ${VLM_MINGW_DEPS_DIR} ${VLM_OCR_JOBS} "${_vlm_ocr_launcher}"
  COMMENT "Building the OCR engine (Leptonica, Tesseract) from Debian's sources"
  VERBATIM)
add_custom_target(vlm_ocr_engine_build DEPENDS ${_vlm_ocr_stamp})

# The include folder must exist when the tree is generated.
file(MAKE_DIRECTORY ${VLM_OCR_ENGINE_PREFIX}/include)
add_library(vlm_ocr_engine INTERFACE)
add_dependencies(vlm_ocr_engine vlm_ocr_engine_build)
target_include_directories(vlm_ocr_engine SYSTEM INTERFACE ${VLM_OCR_ENGINE_PREFIX}/include)
target_link_libraries(vlm_ocr_engine INTERFACE
  ${VLM_OCR_ENGINE_PREFIX}/lib/libtesseract.a ${VLM_OCR_ENGINE_PREFIX}/lib/libleptonica.a ws2_32)

# The language data the PDF maker offers (Tesseract's names), installed into
# "tessdata" beside pafcv2.dll as the package's feature of its own.
set(VLM_OCR_LANGUAGES eng jpn spa fra deu ita nld chi_sim chi_tra)
foreach(lang IN LISTS VLM_OCR_LANGUAGES)
  set(_vlm_ocr_data ${VLM_TESSDATA_DIR}/${lang}.traineddata)
  if(NOT EXISTS ${_vlm_ocr_data})
    string(REPLACE "_" "-" _vlm_ocr_pkg ${lang})
    message(FATAL_ERROR "${_vlm_ocr_data} is missing: install tesseract-ocr-${_vlm_ocr_pkg} (make deps)")
  endif()
  vlm_prefix_copy(${_vlm_ocr_data} "Shared Files\\tessdata" FEATURE OcrLanguages)
endforeach()

# Helpers shared by every folder of the tree.

# vlm_prefix_install(<target> <folder under C:\Program Files\Velmora Works> [REGSVR])
#   The Wine harness copies the target's file into the test prefix, and
#   registers it with regsvr32 when REGSVR is given.
# vlm_prefix_copy(<file> <folder>)       copy a source file (catalogues, data)
# vlm_prefix_reg(<file.reg>)             import a .reg file into the prefix
# vlm_prefix_file(<file> <windows path>) copy a file to an absolute Windows path
#                                        (e.g. C:\windows\twain_64\sane.ds)
# vlm_prefix_run(<target>)               run a built program in the prefix after
#                                        the files above are in place (set-up
#                                        steps that go through Windows calls)
function(vlm_prefix_install target folder)
  set(flag "")
  if("REGSVR" IN_LIST ARGN)
    set(flag "regsvr")
  endif()
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_LINES "install|$<TARGET_FILE:${target}>|${folder}|${flag}")
endfunction()

function(vlm_prefix_copy file folder)
  get_filename_component(abs ${file} ABSOLUTE)
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_LINES "install|${abs}|${folder}|")
endfunction()

function(vlm_prefix_file file winpath)
  if(TARGET ${file})
    set(abs "$<TARGET_FILE:${file}>")
  else()
    get_filename_component(abs ${file} ABSOLUTE)
  endif()
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_LINES "file|${abs}|${winpath}|")
endfunction()

function(vlm_prefix_reg file)
  get_filename_component(abs ${file} ABSOLUTE)
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_LINES "reg|${abs}||")
endfunction()

function(vlm_prefix_run target)
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_RUN_LINES "run|$<TARGET_FILE:${target}>||")
endfunction()

# The manifest read by tools/wine-env.sh install.
function(vlm_finish_prefix_manifest)
  if(NOT VLM_WINDOWS)
    return()
  endif()
  get_property(lines GLOBAL PROPERTY VLM_PREFIX_LINES)
  get_property(runs GLOBAL PROPERTY VLM_PREFIX_RUN_LINES)
  list(APPEND lines ${runs}) # programs run once every file is in place
  string(REPLACE ";" "\n" body "${lines}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/prefix-manifest.txt CONTENT "${body}\n")
endfunction()

# vlm_add_wine_test(<name> COMMAND <target> [args...] [LABELS ...] [TIMEOUT s])
#   A test that runs under Wine in the build's prefix. The prefix is set up
#   (and the persistent wineserver started) once by the wine fixture.
function(vlm_add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "COMMAND;LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix
                       TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
endfunction()

# vlm_add_wine_script_test(<name> <script> [args...])
#   A bash script that drives programs under Wine (tools/wine-run.sh is on
#   its PATH as wine-run, VLM_BIN points at the build's binary folder).
function(vlm_add_wine_script_test name script)
  get_filename_component(abs ${script} ABSOLUTE)
  add_test(NAME ${name} COMMAND bash ${abs} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix TIMEOUT 300
                       LABELS "wine;script"
                       ENVIRONMENT "VLM_BUILD=${CMAKE_BINARY_DIR};VLM_SOURCE=${CMAKE_SOURCE_DIR}")
endfunction()

# vlm_gtest(<name> SOURCES ... LIBS ...)  a GoogleTest executable; under Wine
# in the Windows build, natively (with sanitizers) in the native build.
function(vlm_gtest name)
  if(VLM_FUZZ)
    return() # the fuzz build builds only fuzz targets and what they link
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  if(VLM_WINDOWS)
    vlm_add_wine_test(${name} COMMAND ${name} TIMEOUT ${T_TIMEOUT})
  else()
    add_test(NAME ${name} COMMAND ${name})
    if(T_TIMEOUT)
      set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    endif()
    set_tests_properties(${name} PROPERTIES LABELS native)
  endif()
endfunction()

# The fuzz build compiles everything with the sanitizers, so that a finding in
# any library a target links is seen, and no undefined-behaviour report is
# only printed: every one stops the run and fails it.
set(VLM_FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
if(VLM_FUZZ)
  add_compile_options(${VLM_FUZZ_SANITIZE})
  add_link_options(-fsanitize=address,undefined)
endif()

# vlm_fuzz_target(<name> SOURCES ... LIBS ... CORPUS <seed dir> [INSTRUMENT <libs>])
#   A libFuzzer target with sanitizers, registered as a test labelled "fuzz"
#   that replays the seed corpus and then runs for $VLM_FUZZ_SECONDS.
#   INSTRUMENT lists libraries whose own code should give the fuzzer coverage
#   feedback.
function(vlm_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;INSTRUMENT" ${ARGN})
  foreach(lib IN LISTS F_INSTRUMENT)
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${VLM_FUZZ_SANITIZE})
  endforeach()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${VLM_FUZZ_SANITIZE})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME ${name} COMMAND bash ${CMAKE_SOURCE_DIR}/tools/run-fuzzer.sh $<TARGET_FILE:${name}>
                                ${F_CORPUS})
  # halt_on_error also stops on checks that some library built with recovery on.
  set_tests_properties(${name} PROPERTIES LABELS fuzz
                       ENVIRONMENT "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endfunction()

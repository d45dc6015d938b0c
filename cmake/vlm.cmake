# Helpers shared by every folder of the tree.

# What the suite installs, one line each in build/windows/prefix-manifest.txt:
# the Wine harness copies from it and the Windows Installer package
# (packaging/) is generated from it.
# vlm_prefix_install(<target> <folder under C:\Program Files\Velmora Works>
#                    [REGSVR] [FEATURE <id>] [COM <idl> <ProgID> <class name>])
#   The target's file. REGSVR: a COM server (the harness's copy path runs
#   regsvr32; the package writes the class, its ProgIDs and the type library
#   named in COM from its own tables). FEATURE: the package's feature, by
#   default the folder's (vlm_prefix_feature).
# vlm_prefix_copy(<file> <folder> [FEATURE <id>] [BUILT_BY <target>])
#                                        a data file (catalogues, help), made by
#                                        BUILT_BY when it is built
# vlm_prefix_file(<file> <windows path> [FEATURE <id>])
#                                        a file at an absolute Windows path
#                                        (e.g. C:\windows\twain_64\sane.ds)
# vlm_prefix_run(<target>)               run a built program in the prefix after
#                                        the files above are in place (set-up
#                                        steps of the test prefix, not packaged)

# The package's feature of a folder's files.
function(vlm_prefix_feature folder out)
  set(map "Task Deck=Suite" "Shared Files=SharedFiles" "Taskstore=JobStore"
      "VX-410 Simulator=Simulator" "Quill Mail=QuillMail")
  foreach(pair IN LISTS map)
    string(REPLACE "=" ";" kv "${pair}")
    list(GET kv 0 k)
    if(k STREQUAL folder)
      list(GET kv 1 v)
      set(${out} ${v} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "vlm_prefix: no package feature for folder '${folder}': pass FEATURE")
endfunction()

function(_vlm_prefix_line kind src dst flag feature com)
  if(NOT feature)
    vlm_prefix_feature("${dst}" feature)
  endif()
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_LINES "${kind}|${src}|${dst}|${flag}|${feature}|${com}")
endfunction()

function(vlm_prefix_install target folder)
  cmake_parse_arguments(P "REGSVR" "FEATURE" "COM" ${ARGN})
  set(flag "")
  if(P_REGSVR)
    set(flag "regsvr")
  endif()
  set(com "")
  if(P_COM)
    list(LENGTH P_COM n)
    if(NOT n EQUAL 3 OR NOT P_REGSVR)
      message(FATAL_ERROR "vlm_prefix_install(${target}): REGSVR COM <idl> <ProgID> <class name>")
    endif()
    list(GET P_COM 0 idl)
    list(GET P_COM 1 progid)
    list(GET P_COM 2 classname)
    get_filename_component(idl ${idl} ABSOLUTE)
    set(com "${idl}*${progid}*${classname}")
  endif()
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_TARGETS ${target})
  _vlm_prefix_line(install "$<TARGET_FILE:${target}>" "${folder}" "${flag}" "${P_FEATURE}" "${com}")
endfunction()

function(vlm_prefix_copy file folder)
  cmake_parse_arguments(P "" "FEATURE;BUILT_BY" "" ${ARGN})
  get_filename_component(abs ${file} ABSOLUTE)
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_SOURCES ${abs})
  if(P_BUILT_BY)
    set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_BUILDERS ${P_BUILT_BY})
  endif()
  _vlm_prefix_line(install "${abs}" "${folder}" "" "${P_FEATURE}" "")
endfunction()

function(vlm_prefix_file file winpath)
  cmake_parse_arguments(P "" "FEATURE" "" ${ARGN})
  if(TARGET ${file})
    set(abs "$<TARGET_FILE:${file}>")
    set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_TARGETS ${file})
  else()
    get_filename_component(abs ${file} ABSOLUTE)
  endif()
  if(NOT P_FEATURE)
    message(FATAL_ERROR "vlm_prefix_file(${file}): FEATURE <id> is needed")
  endif()
  _vlm_prefix_line(file "${abs}" "${winpath}" "" "${P_FEATURE}" "")
endfunction()

function(vlm_prefix_run target)
  set_property(GLOBAL APPEND PROPERTY VLM_PREFIX_RUN_LINES "run|$<TARGET_FILE:${target}>||||")
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

# Wine lanes: the Windows tests are spread over VLM_WINE_LANES private
# prefixes (build/windows/wineprefix, wineprefix-2, ...), each with its own
# persistent wineserver, so that whole-program tests of different lanes run
# at the same time without sharing named objects, the registry or C:\.
# Tests of one lane run one after another (RESOURCE_LOCK on the lane).
if(DEFINED ENV{VLM_WINE_LANES})
  set(_vlm_lanes_default $ENV{VLM_WINE_LANES})
else()
  set(_vlm_lanes_default 2)
endif()
set(VLM_WINE_LANES ${_vlm_lanes_default} CACHE STRING "Independent Wine prefixes the tests are spread over")
if(NOT VLM_WINE_LANES MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "VLM_WINE_LANES must be a positive number, not '${VLM_WINE_LANES}'")
endif()

# Expected seconds of the long Wine tests on a busy 2-core machine (one
# lane); every other test counts as VLM_WINE_TEST_SECONDS_DEFAULT. The lanes
# are balanced on these figures, so refresh them when a test grows a lot.
set(VLM_WINE_TEST_SECONDS_DEFAULT 2)
set(VLM_WINE_TEST_SECONDS
    kestrel_session_program_test=90 kestrel_session_files_test=60 kestrel_mail_server_test=45
    kestrel_pdf_protection_test=25
    kestrel_save_program_test=40 kestrel_status_program_test=70 kestrel_program_test=17 taskstore_com_test=15
    scanner_service_test=9 scan_engine_test=8 jobedit_test=20 savepage_test=15 function_pages_test=12
    admin_dialogs_test=12 plover_program_test=8 corvid_program_test=40 plover_job_program_test=16
    vx410sim_test=7 dialog_fit_test=50 kestrel_fault_program_test=40 kestrel_soak_test=90
    kestrel_fault_test=55)

# The lane's prefix folder and lock name ("wineprefix", "wineprefix-2", ...).
function(vlm_wine_lane_prefix lane out)
  if(lane EQUAL 1)
    set(${out} wineprefix PARENT_SCOPE)
  else()
    set(${out} wineprefix-${lane} PARENT_SCOPE)
  endif()
endfunction()

# Deterministic balance: the tests named in the table are placed first,
# longest first, each on the least loaded lane; every other test joins the
# least loaded lane when it is registered.
function(_vlm_wine_lane_plan)
  get_property(done GLOBAL PROPERTY VLM_WINE_LANE_LOAD SET)
  if(done)
    return()
  endif()
  set(load "")
  foreach(i RANGE 1 ${VLM_WINE_LANES})
    list(APPEND load 0)
  endforeach()
  set(entries "")
  foreach(entry IN LISTS VLM_WINE_TEST_SECONDS)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 test)
    list(GET pair 1 secs)
    math(EXPR key "1000000 - ${secs}") # six digits: sorts longest first, ties by name
    list(APPEND entries "${key}|${test}|${secs}")
  endforeach()
  list(SORT entries)
  foreach(entry IN LISTS entries)
    string(REPLACE "|" ";" f "${entry}")
    list(GET f 1 test)
    list(GET f 2 secs)
    _vlm_wine_lane_take(load ${secs} lane)
    set_property(GLOBAL PROPERTY VLM_WINE_LANE_OF_${test} ${lane})
    set_property(GLOBAL PROPERTY VLM_WINE_SECONDS_OF_${test} ${secs})
  endforeach()
  set_property(GLOBAL PROPERTY VLM_WINE_LANE_LOAD "${load}")
endfunction()

# The least loaded lane of the list named by loadvar (the first of equals),
# charged with secs.
function(_vlm_wine_lane_take loadvar secs out)
  set(load ${${loadvar}})
  set(best 1)
  set(lane 0)
  list(GET load 0 bestload)
  foreach(l IN LISTS load)
    math(EXPR lane "${lane} + 1")
    if(l LESS bestload)
      set(best ${lane})
      set(bestload ${l})
    endif()
  endforeach()
  math(EXPR idx "${best} - 1")
  math(EXPR charged "${bestload} + ${secs}")
  list(REMOVE_AT load ${idx})
  list(INSERT load ${idx} ${charged})
  set(${loadvar} ${load} PARENT_SCOPE)
  set(${out} ${best} PARENT_SCOPE)
endfunction()

# Puts a registered test on its lane: the lane's fixture, lock and prefix.
function(_vlm_wine_lane_assign name)
  _vlm_wine_lane_plan()
  get_property(lane GLOBAL PROPERTY VLM_WINE_LANE_OF_${name})
  get_property(secs GLOBAL PROPERTY VLM_WINE_SECONDS_OF_${name})
  if(NOT lane)
    set(secs ${VLM_WINE_TEST_SECONDS_DEFAULT})
    get_property(load GLOBAL PROPERTY VLM_WINE_LANE_LOAD)
    _vlm_wine_lane_take(load ${secs} lane)
    set_property(GLOBAL PROPERTY VLM_WINE_LANE_LOAD "${load}")
  endif()
  set_property(GLOBAL APPEND PROPERTY VLM_WINE_LANES_USED ${lane})
  vlm_wine_lane_prefix(${lane} folder)
  # ENVIRONMENT_MODIFICATION, not ENVIRONMENT: a test may still set its own
  # ENVIRONMENT afterwards without losing its lane.
  # COST: ctest starts the long tests first, so the lanes end together.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_lane${lane} RESOURCE_LOCK ${folder}
                       ENVIRONMENT_MODIFICATION "VLM_WINEPREFIX=set:${CMAKE_BINARY_DIR}/${folder}"
                       COST ${secs})
endfunction()

# The lanes' fixtures: prefix set-up and server stop, for every lane a test
# was put on. Called once, after every test is registered.
function(vlm_finish_wine_lanes)
  if(NOT VLM_WINDOWS)
    return()
  endif()
  get_property(used GLOBAL PROPERTY VLM_WINE_LANES_USED)
  if(used)
    list(REMOVE_DUPLICATES used)
    list(SORT used COMPARE NATURAL)
  endif()
  foreach(lane IN LISTS used)
    vlm_wine_lane_prefix(${lane} folder)
    set(env "VLM_BUILD=${CMAKE_BINARY_DIR};VLM_WINEPREFIX=${CMAKE_BINARY_DIR}/${folder}")
    add_test(NAME wine_setup_${lane} COMMAND bash ${CMAKE_SOURCE_DIR}/tools/wine-env.sh setup)
    add_test(NAME wine_teardown_${lane} COMMAND bash ${CMAKE_SOURCE_DIR}/tools/wine-env.sh stop)
    set_tests_properties(wine_setup_${lane} PROPERTIES FIXTURES_SETUP wine_lane${lane}
                         ENVIRONMENT "${env}" TIMEOUT 600 LABELS wine)
    set_tests_properties(wine_teardown_${lane} PROPERTIES FIXTURES_CLEANUP wine_lane${lane}
                         ENVIRONMENT "${env}" LABELS wine)
  endforeach()
  get_property(load GLOBAL PROPERTY VLM_WINE_LANE_LOAD)
  message(STATUS "Wine lanes: ${VLM_WINE_LANES}, expected seconds per lane: ${load}")
endfunction()

# vlm_add_wine_test(<name> COMMAND <target> [args...] [LABELS ...] [TIMEOUT s])
#   A test that runs under Wine in its lane's prefix. The prefix is set up
#   (and its persistent wineserver started) once by the lane's fixture.
function(vlm_add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "COMMAND;LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
  _vlm_wine_lane_assign(${name})
endfunction()

# vlm_add_wine_script_test(<name> <script> [args...])
#   A bash script that drives programs under Wine (tools/wine-run.sh is on
#   its PATH as wine-run, VLM_BIN points at the build's binary folder).
function(vlm_add_wine_script_test name script)
  get_filename_component(abs ${script} ABSOLUTE)
  add_test(NAME ${name} COMMAND bash ${abs} ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "wine;script"
                       ENVIRONMENT "VLM_BUILD=${CMAKE_BINARY_DIR};VLM_SOURCE=${CMAKE_SOURCE_DIR}")
  _vlm_wine_lane_assign(${name})
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
#   The LIBS give the fuzzer coverage feedback from their own code; without it
#   the fuzzer sees only the harness and mutates blind. INSTRUMENT adds
#   libraries those link in turn.
function(vlm_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;INSTRUMENT" ${ARGN})
  set(instrument ${F_LIBS} ${F_INSTRUMENT})
  list(REMOVE_DUPLICATES instrument)
  foreach(lib IN LISTS instrument)
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

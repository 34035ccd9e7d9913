# Build conventions shared by every folder of the project.
#
#  - Each subsystem folder is one static library of all its *.cc files, except
#    tests (*_unittest.cc) and program entries (*_main.cc).
#  - Each *_unittest.cc is its own GoogleTest program and its own CTest test,
#    run through Wine.
#  - Every program lands in build/bin.

set(QV_DEPS_PREFIX "$ENV{QV_DEPS_PREFIX}" CACHE PATH "Prefix of the mingw builds of the dependencies")
if(NOT QV_DEPS_PREFIX)
  set(QV_DEPS_PREFIX /opt/quillavera-deps/v1 CACHE PATH "" FORCE)
endif()
set(QV_MINGW_SYSROOT /usr/x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/delay_load.cmake)

option(QV_WERROR "Treat compiler warnings in our own code as errors" ON)
option(QV_BENCHMARKS "Build the benchmark programs (scripts/bench.sh)" OFF)
option(QV_TEST_ENDPOINTS "Point the compiled-in service endpoints at 127.0.0.1 (test builds)" OFF)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# The checkout root as a Windows path (Wine maps the host root to Z:), so
# tests can find their fixtures.
string(REPLACE "/" "\\\\" QV_SOURCE_DIR_WIN "Z:${CMAKE_SOURCE_DIR}")

# --- Dependencies (prebuilt static mingw libraries) --------------------------
function(qv_import name lib)
  if(NOT EXISTS ${lib})
    message(FATAL_ERROR "${lib} is missing: run scripts/setup.sh")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${lib})
  target_include_directories(${name} INTERFACE ${QV_DEPS_PREFIX}/include)
endfunction()

qv_import(qv::jsoncpp ${QV_DEPS_PREFIX}/lib/libjsoncpp.a)
qv_import(qv::zlib ${QV_MINGW_SYSROOT}/lib/libz.a)
qv_import(qv::curl ${QV_DEPS_PREFIX}/lib/libcurl.a)
target_compile_definitions(qv::curl INTERFACE CURL_STATICLIB)
target_link_libraries(qv::curl INTERFACE qv::zlib ws2_32 crypt32 bcrypt secur32 wldap32 advapi32 normaliz)
qv_import(qv::nspr ${QV_DEPS_PREFIX}/lib/libnspr4_s.a)
target_include_directories(qv::nspr INTERFACE ${QV_DEPS_PREFIX}/include/nspr)
target_compile_definitions(qv::nspr INTERFACE _AMD64_ _NSPR_BUILD_)
target_link_libraries(qv::nspr INTERFACE advapi32 ws2_32 mswsock winmm)
qv_import(qv::gtest ${QV_DEPS_PREFIX}/lib/libgtest.a)
qv_import(qv::gmock ${QV_DEPS_PREFIX}/lib/libgmock.a)
qv_import(qv::gtest_main ${QV_DEPS_PREFIX}/lib/libgtest_main.a)
target_link_libraries(qv::gmock INTERFACE qv::gtest)
target_link_libraries(qv::gtest_main INTERFACE qv::gmock qv::gtest)

# --- Our own targets ----------------------------------------------------------
function(qv_apply_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

add_library(qv_common INTERFACE)
target_include_directories(qv_common INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(qv_common INTERFACE
  UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601
  QV_TEST_SOURCE_DIR=L"${QV_SOURCE_DIR_WIN}")
if(QV_TEST_ENDPOINTS)
  target_compile_definitions(qv_common INTERFACE QV_TEST_ENDPOINTS=1)
endif()
target_link_options(qv_common INTERFACE -static)
target_link_libraries(qv_common INTERFACE
  user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 uuid rpcrt4 psapi winmm
  wininet version ws2_32)

# qv_subsystem(NAME lib DEPS other libs... [SPLIT_TESTS test programs...]
#              [OWN_PREFIX_TESTS test programs...])
# Builds the folder's library from its globbed sources and one test program
# per *_unittest.cc; those named in SPLIT_TESTS run each case as a CTest
# test of its own, and those in SPLIT_TESTS or OWN_PREFIX_TESTS run in Wine
# prefixes of their own (see qv_unittest).
function(qv_subsystem)
  cmake_parse_arguments(ARG "" "NAME"
                        "DEPS;TEST_DEPS;SPLIT_TESTS;OWN_PREFIX_TESTS" ${ARGN})
  file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cc ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  set(lib_sources "")
  set(test_sources "")
  foreach(src ${all_sources})
    if(src MATCHES "_unittest\\.cc$")
      list(APPEND test_sources ${src})
    elseif(NOT src MATCHES "_main\\.cc$")
      list(APPEND lib_sources ${src})
    endif()
  endforeach()
  if(lib_sources)
    add_library(${ARG_NAME} STATIC ${lib_sources})
    qv_apply_flags(${ARG_NAME})
    target_link_libraries(${ARG_NAME} PUBLIC qv_common ${ARG_DEPS})
  else()
    add_library(${ARG_NAME} INTERFACE)
    target_link_libraries(${ARG_NAME} INTERFACE qv_common ${ARG_DEPS})
  endif()
  foreach(test_src ${test_sources})
    get_filename_component(test_name ${test_src} NAME_WE)
    set(options "")
    if(test_name IN_LIST ARG_SPLIT_TESTS)
      list(APPEND options SPLIT)
    endif()
    if(test_name IN_LIST ARG_OWN_PREFIX_TESTS)
      list(APPEND options OWN_PREFIX)
    endif()
    qv_unittest(${test_name} ${test_src} LIBS ${ARG_NAME} ${ARG_TEST_DEPS}
                ${options})
  endforeach()
endfunction()

# qv_unittest(name source LIBS libs... [SPLIT] [OWN_PREFIX])
# Links the shared test helpers of testing/test_support/ too. SPLIT makes
# each TEST/TEST_F of the source a CTest test of its own (name.Suite.Test),
# so a program of slow cases runs them side by side. A split program, or one
# with OWN_PREFIX, runs each of its tests in a Wine prefix of its own: every
# prefix has its own Wine server, which dump writing keeps busy, so tests
# that write dumps do not queue for the build's one.
function(qv_unittest name)
  cmake_parse_arguments(ARG "SPLIT;OWN_PREFIX" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  qv_apply_flags(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support qv_common
                        qv::gtest_main)
  qv_delay_load_system_libraries(${name})
  set(own_prefix ${ARG_OWN_PREFIX})
  if(ARG_SPLIT)
    set(own_prefix TRUE)
  endif()
  if(NOT ARG_SPLIT)
    qv_add_unittest(${name} ${name} "${own_prefix}")
    return()
  endif()
  set(cases "")
  foreach(src ${ARG_UNPARSED_ARGUMENTS})
    get_filename_component(src ${src} ABSOLUTE)
    file(READ ${src} text)
    string(REGEX MATCHALL "\nTEST(_F)?\\([ \n]*[A-Za-z0-9_]+,[ \n]*[A-Za-z0-9_]+"
           found "${text}")
    list(APPEND cases ${found})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
  endforeach()
  foreach(case ${cases})
    string(REGEX REPLACE "^\nTEST(_F)?\\([ \n]*" "" case "${case}")
    string(REGEX REPLACE ",[ \n]*" "." case "${case}")
    qv_add_unittest(${name}.${case} ${name} "${own_prefix}"
                    --gtest_filter=${case})
  endforeach()
endfunction()

# Tests with a prefix of their own take one of scripts/test.sh's pool of
# booted prefixes when ctest is handed the pool as a resource (see
# scripts/test.sh): a new prefix's boot costs more than most of these
# tests' own work. A test that cannot share (one that changes the
# registry, which the pool's reset does not put back) is named to
# qv_take_new_prefix. Without the pool every such test gets a new prefix.
set(QV_PREFIX_POOL ${CMAKE_BINARY_DIR}/prefix_pool)
function(qv_take_pooled_prefix test_name)
  set_tests_properties(${test_name} PROPERTIES RESOURCE_GROUPS prefixes:1)
endfunction()

# A test of a pooled script that must have a new prefix all the same (one
# that changes what the reset does not put back); call it after the test is
# registered, in the same folder.
function(qv_take_new_prefix test_name)
  get_test_property(${test_name} ENVIRONMENT env)
  list(FILTER env EXCLUDE REGEX "^QV_PREFIX_POOL=")
  set_tests_properties(${test_name} PROPERTIES ENVIRONMENT "${env}")
  set_property(TEST ${test_name} PROPERTY RESOURCE_GROUPS)
endfunction()

function(qv_add_unittest test_name program own_prefix)
  add_test(NAME ${test_name} COMMAND ${program} ${ARGN})
  # Unit tests that write minidumps take minutes when the machine is busy;
  # only a hang reaches this bound.
  set_tests_properties(${test_name} PROPERTIES TIMEOUT 600)
  if(own_prefix)
    # Made on first use, a copy of the build's template (scripts/test.sh).
    # These write dumps, the slowest work: started early (see
    # qv_add_python_test).
    set_tests_properties(${test_name} PROPERTIES COST 20 ENVIRONMENT
      "QV_WINEPREFIX=${CMAKE_CURRENT_BINARY_DIR}/${test_name}.wineprefix;QV_PREFIX_POOL=${QV_PREFIX_POOL}")
    qv_take_pooled_prefix(${test_name})
  endif()
endfunction()

# qv_program(name sources... LIBS libs... [WINDOWS])
# A Windows program in build/bin. WINDOWS makes it a GUI-subsystem program.
# Programs of the test tree load their system libraries on first use
# (cmake/delay_load.cmake); the product's keep their ordinary imports.
set(QV_TEST_TREE ${CMAKE_SOURCE_DIR}/testing)
function(qv_program name)
  cmake_parse_arguments(ARG "WINDOWS;WIDE" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  qv_apply_flags(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} qv_common)
  if(ARG_WINDOWS)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
  if(ARG_WIDE)
    target_link_options(${name} PRIVATE -municode)
  endif()
  cmake_path(IS_PREFIX QV_TEST_TREE "${CMAKE_CURRENT_SOURCE_DIR}" in_test_tree)
  if(in_test_tree)
    qv_delay_load_system_libraries(${name})
  endif()
endfunction()

# The wrapper that runs a Windows program under Wine in this build's prefix;
# whole-program tests pass it to their drivers.
# The generated copy fixes the prefix to this build's own, and new prefixes
# are copied from the build's template prefix once scripts/test.sh has made
# it.
set(QV_WINE_RUN ${CMAKE_BINARY_DIR}/wine_run.sh)
file(WRITE ${QV_WINE_RUN}
  "#!/bin/bash\nexport QV_WINEPREFIX=\"\${QV_WINEPREFIX:-${CMAKE_BINARY_DIR}/wineprefix}\"\n"
  "export QV_WINE_KEEPALIVE=\"\${QV_WINE_KEEPALIVE:-${CMAKE_BINARY_DIR}/bin/wine_keepalive.exe}\"\n"
  "export QV_WINE_TEMPLATE=\"\${QV_WINE_TEMPLATE-${CMAKE_BINARY_DIR}/wineprefix.template}\"\n"
  "exec ${CMAKE_SOURCE_DIR}/testing/wine/wine_run.sh \"\$@\"\n")
file(CHMOD ${QV_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# qv_python_test(NAME name SCRIPT file.py [OWN_PREFIX] [SPLIT]
#                [TIMEOUT seconds] [ENV VAR=value...] [ARGS args...])
# A whole-program test driven by Python. Example:
#
#   qv_python_test(NAME my_test SCRIPT my_test.py OWN_PREFIX SPLIT)
#
# The script imports qv_test_support (testing/qv_test_support.py) and finds
# everything through the environment this sets:
#   QV_WINE_RUN       the wrapper that runs a Windows program under Wine
#   QV_BIN_DIR        where the programs are (build/bin)
#   QV_TEST_WORK_DIR  a folder of the test's own, made here
#   QV_WINEPREFIX     the Wine prefix its programs run in: the build's, or
#                     with OWN_PREFIX one of the test's own (then also in
#                     QV_TEST_PREFIX), for programs with fixed names (the
#                     reporter's pipe, ready event and data folder)
# SPLIT registers each test case of the script (testing/list_test_cases.py)
# as a CTest test of its own, name.case (the case less its "test_"), with a
# work folder and, with OWN_PREFIX, a prefix of its own, so that the cases
# run side by side; TIMEOUT then bounds each case.
function(qv_python_test)
  cmake_parse_arguments(ARG "OWN_PREFIX;SPLIT" "NAME;SCRIPT;TIMEOUT"
                        "ENV;ARGS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(script ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_SCRIPT})
  if(NOT ARG_SPLIT)
    qv_add_python_test(${ARG_NAME} ${script} "${ARG_OWN_PREFIX}"
                       ${ARG_TIMEOUT} "${ARG_ENV}" ${ARG_ARGS})
    return()
  endif()
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/testing/list_test_cases.py
            ${script}
    OUTPUT_VARIABLE cases RESULT_VARIABLE listed)
  if(NOT listed EQUAL 0)
    message(FATAL_ERROR "cannot list the test cases of ${script}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  string(REPLACE "\n" ";" cases "${cases}")
  foreach(case ${cases})
    string(REGEX REPLACE "^.*\\.(test_)?" "" short "${case}")
    qv_add_python_test(${ARG_NAME}.${short} ${script} "${ARG_OWN_PREFIX}"
                       ${ARG_TIMEOUT} "${ARG_ENV}" ${ARG_ARGS} ${case})
  endforeach()
endfunction()

function(qv_add_python_test name script own_prefix timeout extra_env)
  set(work_dir ${CMAKE_CURRENT_BINARY_DIR}/${name})
  file(MAKE_DIRECTORY ${work_dir})
  set(env
    "QV_WINE_RUN=${QV_WINE_RUN}"
    "QV_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
    "QV_TEST_WORK_DIR=${work_dir}"
    "PYTHONPATH=${CMAKE_SOURCE_DIR}/testing"
    ${extra_env})
  if(own_prefix)
    set(prefix ${CMAKE_CURRENT_BINARY_DIR}/${name}.wineprefix)
    list(APPEND env "QV_TEST_PREFIX=${prefix}" "QV_WINEPREFIX=${prefix}"
                    "QV_PREFIX_POOL=${QV_PREFIX_POOL}")
  else()
    list(APPEND env "QV_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
  endif()
  add_test(NAME ${name} COMMAND ${Python3_EXECUTABLE} ${script} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${timeout} ENVIRONMENT "${env}")
  if(own_prefix)
    qv_take_pooled_prefix(${name})
    # Whole programs in prefixes of their own are the longest tests. CTest
    # starts the costliest first, by the times of the last run, or by this
    # where there is none (a fresh build), so they do not trail at the end.
    set_tests_properties(${name} PROPERTIES COST 30)
  endif()
endfunction()

# Delay-loaded system libraries for test programs.
#
# Under Wine, MiniDumpWriteDump reads the unwind entry of every function of
# every loaded module with a read of its own, and each read stops the
# target through the Wine server. A test client that loads shell32, ole32,
# user32 and the rest at start-up, though it never calls them, spends most
# of every dump of it on their 15,000 entries. Test programs therefore link
# these libraries delay-loaded: a DLL is loaded on the first call into it.
# The product's own programs keep their ordinary imports.
#
# qv_delay_load_system_libraries(target) makes the target's -l<name> of the
# libraries below resolve to delay-import libraries made here from the
# toolchain's import libraries (same functions, same DLL names).

set(QV_DELAY_LOADED_LIBRARIES
  user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 rpcrt4 psapi winmm
  wininet version ws2_32 mswsock crypt32 bcrypt secur32 wldap32 normaliz
  winspool comdlg32)
set(QV_DELAY_IMPORT_DIR ${CMAKE_BINARY_DIR}/delay_import)

find_program(QV_DLLTOOL ${QV_MINGW_TRIPLE}-dlltool REQUIRED)
find_program(QV_NM ${QV_MINGW_TRIPLE}-nm REQUIRED)

# Writes lib<name>.a into QV_DELAY_IMPORT_DIR unless it is newer than the
# import library it is made from.
function(qv_make_delay_import_library name)
  set(import_lib ${QV_MINGW_SYSROOT}/lib/lib${name}.a)
  set(out ${QV_DELAY_IMPORT_DIR}/lib${name}.a)
  if(NOT EXISTS ${import_lib})
    message(FATAL_ERROR "${import_lib} is missing")
  endif()
  if(EXISTS ${out} AND ${out} IS_NEWER_THAN ${import_lib})
    return()
  endif()
  execute_process(COMMAND ${QV_DLLTOOL} --identify ${import_lib}
                  OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR dll STREQUAL "" OR dll MATCHES "\n")
    message(FATAL_ERROR "${import_lib}: no single DLL name (${dll})")
  endif()
  execute_process(COMMAND ${QV_NM} -g ${import_lib}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${QV_NM} failed on ${import_lib}")
  endif()
  # Functions only: each has a code thunk ("T name"). Data exports cannot be
  # delay-loaded; they are left out, so a use of one fails at link time.
  string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_?@$][A-Za-z0-9_?@$]*"
         thunks "${symbols}")
  set(def "LIBRARY \"${dll}\"\nEXPORTS\n")
  foreach(thunk ${thunks})
    string(REGEX REPLACE "^[0-9a-f]+ T " "" function "${thunk}")
    if(NOT function MATCHES "^(_head_|__imp_)")
      string(APPEND def "${function}\n")
    endif()
  endforeach()
  file(MAKE_DIRECTORY ${QV_DELAY_IMPORT_DIR})
  file(WRITE ${QV_DELAY_IMPORT_DIR}/${name}.def "${def}")
  execute_process(COMMAND ${QV_DLLTOOL} --input-def ${name}.def
                          --dllname ${dll} --output-delaylib lib${name}.a
                  WORKING_DIRECTORY ${QV_DELAY_IMPORT_DIR}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${QV_DLLTOOL} could not make lib${name}.a")
  endif()
endfunction()

foreach(name ${QV_DELAY_LOADED_LIBRARIES})
  qv_make_delay_import_library(${name})
endforeach()

function(qv_delay_load_system_libraries target)
  target_link_directories(${target} BEFORE PRIVATE ${QV_DELAY_IMPORT_DIR})
endfunction()

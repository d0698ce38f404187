# Delay-loaded imports for MinGW, which has no /DELAYLOAD: dlltool makes a delay-import
# library from a definition file listing everything the platform's import library exports.
# The library resolves the same __imp_ names, so it must come on the link line before the
# ordinary import libraries; the first call into the DLL loads it.

function(quillmere_delay_import_library dll out_var)
  set(library "${CMAKE_BINARY_DIR}/delay-imports/lib${dll}_delay.a")
  if(NOT EXISTS "${library}")
    if(NOT CMAKE_DLLTOOL)
      find_program(CMAKE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
    endif()
    find_library(QUILLMERE_IMPLIB_${dll} NAMES ${dll} REQUIRED)
    execute_process(COMMAND "${CMAKE_NM}" "${QUILLMERE_IMPLIB_${dll}}"
      OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL " I __imp_[^\r\n]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE " I __imp_" "")
    list(REMOVE_DUPLICATES imports)
    list(JOIN imports "\n" exports)
    set(definition "${CMAKE_BINARY_DIR}/delay-imports/${dll}.def")
    file(WRITE "${definition}" "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND "${CMAKE_DLLTOOL}" --input-def "${definition}" --output-delaylib "${library}"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${out_var} "${library}" PARENT_SCOPE)
endfunction()

# quillmere_delay_load(TARGET DLL ...): TARGET loads each DLL on its first call into it.
function(quillmere_delay_load target)
  set(libraries)
  foreach(dll IN LISTS ARGN)
    quillmere_delay_import_library(${dll} library)
    list(APPEND libraries "${library}")
  endforeach()
  target_link_libraries(${target} PRIVATE ${libraries} delayimp)
endfunction()

# zelvane_link_on_demand(<target> <dll>...): links system DLLs that are needed
# only once the user reaches a feature (sockets, sound, file dialogs, the
# shell, automation, the update download with its version and signature
# checks), so that loading and initialising them is not paid at every start.
# The loader maps each DLL at its first call.
#   MSVC: the import library plus /DELAYLOAD.
#   MinGW: a delay-import library made by dlltool from the import library's
#          own export list.
#   Anything else: the plain import library.
set(ZELVANE_DELAY_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/DelayImportLib.cmake)

function(zelvane_link_on_demand target)
  foreach(dll IN LISTS ARGN)
    if(MSVC)
      target_link_libraries(${target} PUBLIC ${dll} delayimp)
      target_link_options(${target} PUBLIC /DELAYLOAD:${dll}.dll)
    elseif(MINGW)
      zelvane_delay_import_lib(${dll} lib)
      target_link_libraries(${target} PUBLIC ${lib})
    else()
      target_link_libraries(${target} PUBLIC ${dll})
    endif()
  endforeach()
endfunction()

# Defines (once) an imported library for <dll>'s delay imports; its name in <out>.
function(zelvane_delay_import_lib dll out)
  set(name zelvane_delay_${dll})
  set(${out} ${name} PARENT_SCOPE)
  if(TARGET ${name})
    return()
  endif()
  find_library(ZELVANE_IMPLIB_${dll} NAMES ${dll} HINTS ${CMAKE_C_IMPLICIT_LINK_DIRECTORIES} REQUIRED)
  if(NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "dlltool not found: it makes the delay-import libraries")
  endif()
  set(archive ${CMAKE_BINARY_DIR}/delayimp/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
            -DIMPLIB=${ZELVANE_IMPLIB_${dll}} -DDLL=${dll}.dll -DOUT=${archive}
            -P ${ZELVANE_DELAY_SCRIPT}
    DEPENDS ${ZELVANE_IMPLIB_${dll}} ${ZELVANE_DELAY_SCRIPT}
    COMMENT "Delay-import library for ${dll}.dll"
    VERBATIM)
  add_custom_target(${name}_gen DEPENDS ${archive})
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${archive})
  add_dependencies(${name} ${name}_gen)
endfunction()

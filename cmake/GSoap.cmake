# zelvane_gsoap_library(<target> <header> <side> <comment>)
# Runs soapcpp2 on <header> (<side> is -S for a server skeleton, -C for a
# client stub) and builds the generated serialisers into object library
# <target>. Natively it links Debian's libgsoap++ (whose build flags, WITH_IPV6
# and WITH_DOM, must match ours, hence pkg-config); for Windows, gSOAP's
# runtime from Debian's source package (tools/mingw-deps.sh), compiled here
# with the same flags as the generated code. The .nsmap files soapcpp2 also
# writes are unused: the programs keep their own namespace tables.
find_program(ZELVANE_SOAPCPP2 soapcpp2 REQUIRED)
if(WIN32)
  if(NOT TARGET zelvane_gsoap_runtime)
    add_library(zelvane_gsoap_runtime STATIC ${ZELVANE_MINGW_DEPS}/src/gsoap/stdsoap2.cpp)
    # Only what a loopback server needs: IPv4, no DOM, no zlib, no TLS.
    target_include_directories(zelvane_gsoap_runtime SYSTEM PUBLIC ${ZELVANE_MINGW_DEPS}/src/gsoap)
    target_compile_definitions(zelvane_gsoap_runtime PUBLIC WIN32_LEAN_AND_MEAN)
    target_link_libraries(zelvane_gsoap_runtime PUBLIC ws2_32)
  endif()
  set(zelvane_gsoap_link zelvane_gsoap_runtime)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GSOAPXX REQUIRED IMPORTED_TARGET gsoap++)
  set(zelvane_gsoap_link PkgConfig::GSOAPXX)
endif()

function(zelvane_gsoap_library target header side comment)
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/gsoap)
  if(side STREQUAL "-S")
    set(sources ${gen}/soapC.cpp ${gen}/soapServer.cpp)
  else()
    set(sources ${gen}/soapC.cpp ${gen}/soapClient.cpp)
  endif()
  add_custom_command(
    OUTPUT ${sources} ${gen}/soapH.h ${gen}/soapStub.h
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}
    COMMAND ${ZELVANE_SOAPCPP2} ${side} -L -x -w -1 -d ${gen} ${header}
    DEPENDS ${header}
    COMMENT "soapcpp2: ${comment}"
    VERBATIM)
  # Generated code is not held to our warning flags.
  add_library(${target} OBJECT ${sources})
  target_include_directories(${target} SYSTEM PUBLIC ${gen})
  target_link_libraries(${target} PUBLIC ${zelvane_gsoap_link})
endfunction()

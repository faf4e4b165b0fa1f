# zelvane_gsoap_library(<target> <header> <side> <comment>)
# Runs soapcpp2 on <header> (<side> is -S for a server skeleton, -C for a
# client stub) and builds the generated serialisers into object library
# <target>, linked with Debian's libgsoap++ (whose build flags, WITH_IPV6 and
# WITH_DOM, must match ours, hence pkg-config). The .nsmap files soapcpp2
# also writes are unused: the programs keep their own namespace tables.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GSOAPXX REQUIRED IMPORTED_TARGET gsoap++)
find_program(ZELVANE_SOAPCPP2 soapcpp2 REQUIRED)

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
  target_link_libraries(${target} PUBLIC PkgConfig::GSOAPXX)
endfunction()

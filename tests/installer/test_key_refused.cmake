# cmake -DBIN=<build folder> -DNINJA=<ninja> -P test_key_refused.cmake
# A build trusting the tests' update key: its default target makes no
# packages, and asking for them fails saying why.
execute_process(COMMAND ${NINJA} -C ${BIN} -t query installer/all OUTPUT_VARIABLE all RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR all MATCHES "zelvane-packages")
  message(FATAL_ERROR "the packages are part of the default target (${rc}):\n${all}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BIN} --target zelvane-packages
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT out MATCHES "is the tests' key")
  message(FATAL_ERROR "zelvane-packages with the tests' key (${rc}):\n${out}")
endif()

# Installs the build into a fresh prefix, builds the host of host/ against it and runs it.
#   cmake -DBUILD=<build dir> -DWORK=<scratch dir> -P CheckPackage.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run("Installing" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
run("Configuring the host" ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/host -B ${WORK}/host -G Ninja
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_PREFIX_PATH=${prefix})
run("Building the host" ${CMAKE_COMMAND} --build ${WORK}/host)
run("Running the host" ${WORK}/host/host)
if(NOT output MATCHES "^QMYE\\(REF\\(\"B7\",2\\),2024,")
  message(FATAL_ERROR "The host printed an unexpected formula:\n${output}")
endif()
message(STATUS "The host composed ${output}")

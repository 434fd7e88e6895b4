# A real configuration of the project with an address the program cannot use stops with the
# reason, before anything is built.
#   cmake -DSOURCE=<project folder> -DBINARY=<scratch folder> -DGENERATOR=<generator>
#         -P configure_refusal_test.cmake
file(REMOVE_RECURSE "${BINARY}")
execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${BINARY}" -G "${GENERATOR}"
        -DDOWNLOADER_BENCH=OFF "-DDOWNLOADER_SERVER_URL_KOREA=https://files.example.com/kr"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
file(REMOVE_RECURSE "${BINARY}")
if(result EQUAL 0)
    message(FATAL_ERROR "the configuration accepted an address without the final /")
endif()
set(reason "DOWNLOADER_SERVER_URL_KOREA 'https://files.example.com/kr' must end in /")
string(FIND "${output}" "${reason}" found)
if(found EQUAL -1)
    message(FATAL_ERROR "the configuration failed without saying '${reason}':\n${output}")
endif()

# A real configuration of the project that the program could not be built for stops with the
# reason, before anything is built: an address the program cannot use, and a publisher's
# address without the key that signs their manifests.
#   cmake -DSOURCE=<project folder> -DBINARY=<scratch folder> -DGENERATOR=<generator>
#         -P configure_refusal_test.cmake
set(cases
    "-DDOWNLOADER_SERVER_URL_KOREA=https://files.example.com/kr|DOWNLOADER_SERVER_URL_KOREA 'https://files.example.com/kr' must end in /"
    "-DDOWNLOADER_SERVER_URL=https://files.example.com/game/|The server address 'https://files.example.com/game/' is a publisher's, and no DOWNLOADER_MANIFEST_KEY is given")
foreach(case IN LISTS cases)
    string(FIND "${case}" "|" bar)
    string(SUBSTRING "${case}" 0 ${bar} setting)
    math(EXPR after "${bar} + 1")
    string(SUBSTRING "${case}" ${after} -1 reason)
    file(REMOVE_RECURSE "${BINARY}")
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${BINARY}" -G "${GENERATOR}"
            -DDOWNLOADER_BENCH=OFF "${setting}"
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    file(REMOVE_RECURSE "${BINARY}")
    if(result EQUAL 0)
        message(FATAL_ERROR "the configuration accepted ${setting}")
    endif()
    # CMake wraps long messages: compare without line breaks and indentation.
    string(REGEX REPLACE "[\n ]+" " " flat "${output}")
    string(FIND "${flat}" "${reason}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "the configuration failed without saying '${reason}':\n${output}")
    endif()
endforeach()

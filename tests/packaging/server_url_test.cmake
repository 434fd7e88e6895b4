# The build's check of the server address against what the program needs at run time, case by
# case: "" for an address the program can use, else a piece of the reason given.
#   cmake -DSOURCE=<project folder> -P server_url_test.cmake
include(${SOURCE}/cmake/ServerUrl.cmake)

string(REPEAT "a" 492 long_path)  # http://h/ + 492 + / = 502 bytes: the longest accepted
set(cases
    "http://127.0.0.1:8080/|"
    "https://files.example.com/game/|"
    "HTTPS://Files.Example.com/|"
    "http://h/${long_path}/|"
    "http://h/${long_path}a/|at most 502"
    "http://files.example.com/game|must end in /"
    "ftp://files.example.com/|http:// or https://"
    "files.example.com/game/|http:// or https://"
    "file:///srv/game/|http:// or https://"
    "http:/files.example.com/|http:// or https://"
    "http:///game/|no server"
    "http://host/a,b/|, } or \""
    "http://host/a}b/|, } or \""
    "http://host/a\"b/|, } or \""
    "http://host/a b/|space"
    "http://host/a\tb/|space"
    "|http:// or https://")
set(failures 0)
foreach(case IN LISTS cases)
    string(FIND "${case}" "|" bar REVERSE)
    string(SUBSTRING "${case}" 0 ${bar} url)
    math(EXPR after "${bar} + 1")
    string(SUBSTRING "${case}" ${after} -1 expected)
    downloader_server_url_problem("${url}" problem)
    if(expected STREQUAL "")
        if(NOT problem STREQUAL "")
            message(SEND_ERROR "'${url}' refused: ${problem}")
        endif()
    else()
        string(FIND "${problem}" "${expected}" found)
        if(found EQUAL -1)
            message(SEND_ERROR "'${url}': expected a reason with '${expected}', got '${problem}'")
        endif()
    endif()
endforeach()

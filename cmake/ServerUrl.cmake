# The file server's base address as the program uses it at run time: it fetches the address
# followed directly by "file.json" into a buffer of 512 bytes, over libcurl limited to http and
# https, and the built-in document's reader ends a value at its first ',' or '}' and knows no
# escapes. An address that breaks one of these only fails once a player starts the program
# ("manifest" warning, then the program ends), so the build refuses it.

# Sets <out> to why <url> cannot be the server address, or to "" when it can.
function(downloader_server_url_problem url out)
    string(LENGTH "${url}" length)
    # 511 bytes and the terminator; "file.json" takes 9 of them.
    math(EXPR longest "511 - 9")
    if(NOT url MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://")
        set(problem "must start with http:// or https://: the program fetches over HTTP only")
    elseif(url MATCHES "^[^:]+:///")
        set(problem "names no server after the scheme")
    elseif(NOT url MATCHES "/$")
        set(problem "must end in /: the program appends file.json to it directly")
    elseif(url MATCHES "[,}\"]")
        set(problem "holds , } or \" which end a value in the built-in document")
    elseif(url MATCHES "[ \t\r\n]")
        set(problem "holds a space, tab or line break, which the HTTP client refuses")
    elseif(length GREATER longest)
        string(CONCAT problem "is ${length} bytes long; the manifest's address (it and file.json) "
                              "must fit in 511 bytes, so it may be at most ${longest}")
    else()
        set(problem "")
    endif()
    set(${out} "${problem}" PARENT_SCOPE)
endfunction()

# Stops the configuration when the cache setting <name> holds an address the program would
# fail on.
function(downloader_check_server_url name)
    downloader_server_url_problem("${${name}}" problem)
    if(problem)
        message(FATAL_ERROR "${name} '${${name}}' ${problem}.\n"
                            "Give the file server's folder that holds file.json, as in "
                            "-D${name}=https://files.example.com/game/")
    endif()
endfunction()

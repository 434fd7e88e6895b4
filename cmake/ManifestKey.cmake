# The publisher's public key, built into the program so that it takes only manifests signed by
# the publisher. A build for a real server (an address that is not loopback) needs one, unless
# an unsigned build is asked for by name; a loopback build (tests, the demo) makes its own pair
# at configure time, so that every test runs the signed path:
#   <build>/manifest-key (private key, PEM) and <build>/manifest-key.pub (DER).

set(DOWNLOADER_MANIFEST_KEY "" CACHE FILEPATH
    "Public key file (KEYFILE.pub of make-manifest --generate-key) whose signature file.json must carry")
option(DOWNLOADER_ALLOW_UNSIGNED_MANIFEST
    "Build a program that takes any manifest (no key built in): anyone on the network path can change what it installs"
    OFF)

# A P-256 SubjectPublicKeyInfo in DER is always this header followed by the 65-byte point.
set(DOWNLOADER_P256_KEY_HEADER "3059301306072a8648ce3d020106082a8648ce3d030107034200")

# True in <out> when <url> names this machine.
function(downloader_is_loopback url out)
    if(url MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://(127\\.[0-9.]+|[Ll][Oo][Cc][Aa][Ll][Hh][Oo][Ss][Tt]|\\[::1\\])(:[0-9]+)?/")
        set(${out} TRUE PARENT_SCOPE)
    else()
        set(${out} FALSE PARENT_SCOPE)
    endif()
endfunction()

# Sets <out> to the key file the build takes, or "" for an unsigned build; stops the
# configuration when a publisher's build has no key. The remaining arguments are the addresses.
function(downloader_manifest_key_file out)
    set(key "${DOWNLOADER_MANIFEST_KEY}")
    if(key)
        set(${out} "${key}" PARENT_SCOPE)
        return()
    endif()
    if(DOWNLOADER_ALLOW_UNSIGNED_MANIFEST)
        message(WARNING "Unsigned build: the program takes any manifest its server address gives.")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    foreach(url IN LISTS ARGN)
        downloader_is_loopback("${url}" loopback)
        if(NOT loopback)
            message(FATAL_ERROR "The server address '${url}' is a publisher's, and no "
                "DOWNLOADER_MANIFEST_KEY is given: anyone on the network path could change what the "
                "program installs. Make a key pair (make-manifest --generate-key KEYFILE), sign "
                "each manifest (make-manifest --sign KEYFILE ...) and build with "
                "-DDOWNLOADER_MANIFEST_KEY=KEYFILE.pub, or ask for an unsigned build with "
                "-DDOWNLOADER_ALLOW_UNSIGNED_MANIFEST=ON.")
        endif()
    endforeach()
    # Loopback only: the tests' and the demo's own pair, made once per build folder.
    set(key "${CMAKE_BINARY_DIR}/manifest-key")
    if(NOT EXISTS "${key}.pub")
        find_program(OPENSSL_PROGRAM openssl REQUIRED)
        execute_process(
            COMMAND ${OPENSSL_PROGRAM} genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256
                -out "${key}"
            COMMAND_ERROR_IS_FATAL ANY)
        execute_process(
            COMMAND ${OPENSSL_PROGRAM} pkey -in "${key}" -pubout -outform DER -out "${key}.pub"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(${out} "${key}.pub" PARENT_SCOPE)
endfunction()

# Writes <source>, which defines BuiltInManifestKey() (download/manifestCheck.h) with the point
# of <key_file>, or with nothing when <key_file> is "".
function(downloader_write_manifest_key key_file source)
    set(bytes "")
    if(key_file)
        if(NOT EXISTS "${key_file}")
            message(FATAL_ERROR "DOWNLOADER_MANIFEST_KEY '${key_file}' does not exist.")
        endif()
        file(READ "${key_file}" hex HEX)
        string(LENGTH "${DOWNLOADER_P256_KEY_HEADER}" header_length)
        string(LENGTH "${hex}" length)
        string(SUBSTRING "${hex}" 0 ${header_length} header)
        if(NOT length EQUAL 182 OR NOT header STREQUAL DOWNLOADER_P256_KEY_HEADER)
            message(FATAL_ERROR "DOWNLOADER_MANIFEST_KEY '${key_file}' is not a P-256 public key "
                "file (KEYFILE.pub, as make-manifest --generate-key writes it).")
        endif()
        string(SUBSTRING "${hex}" ${header_length} -1 point)
        string(REGEX REPLACE "(..)" "'\\\\x\\1', " bytes "${point}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key_file}")
    endif()
    set(DOWNLOADER_MANIFEST_KEY_BYTES "${bytes}")
    configure_file(${PROJECT_SOURCE_DIR}/download/manifestKey.cpp.in "${source}" @ONLY)
endfunction()

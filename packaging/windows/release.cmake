# The Windows release: one archive, named with the version, holding the static program, a short
# read-me, the licence and the licences of the runtime the program contains. Built by the target
# `windows_release` (scripts/package-windows).
set(name downloader-${PROJECT_VERSION}-windows-x64)
set(stage ${CMAKE_CURRENT_BINARY_DIR}/${name})
set(texts ${CMAKE_CURRENT_BINARY_DIR}/windows-texts)

# Texts with Windows line ends, so that Notepad shows them as written; copied as they are
# (the licence files hold e-mail addresses that a configure step could take for variables).
function(windows_text source destination)
    file(READ ${source} text)
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${destination} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
set(APP_TITLE "DezirodOR Downloader")
set(APP_SUMMARY "Downloads the full installation package of the game into a folder of your choice and starts its installer.")
configure_file(windows/README.txt.in ${texts}/README.txt @ONLY NEWLINE_STYLE CRLF)
windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${texts}/LICENSE.txt)
windows_text(${CMAKE_CURRENT_SOURCE_DIR}/windows/THIRD-PARTY-LICENSES.txt
    ${texts}/THIRD-PARTY-LICENSES.txt)
windows_text(/usr/share/doc/g++-mingw-w64-x86-64-posix/copyright
    ${texts}/licenses/gcc-runtime.txt)
windows_text(/usr/share/doc/mingw-w64-x86-64-dev/copyright ${texts}/licenses/mingw-w64.txt)

add_custom_target(windows_release
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${stage}.zip
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${texts} ${stage}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:downloader> ${stage}/downloader.exe
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_CURRENT_BINARY_DIR}
        ${CMAKE_COMMAND} -E tar cf ${name}.zip --format=zip ${name}
    DEPENDS downloader
    BYPRODUCTS ${stage}.zip
    COMMENT "Windows release ${name}.zip"
    VERBATIM)

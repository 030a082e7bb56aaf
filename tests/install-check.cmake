# Installs into a scratch prefix and checks that the desktop finds the program:
# every installed file, the icon sizes, and the desktop's own validators.
cmake_policy(VERSION 3.25)
set(prefix "${BUILD_DIR}/install-check")
set(id io.github.vobi.CopiaERinomina)
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()

set(sizes 16 22 24 32 48 64 128 256)
set(expected bin/copia-e-rinomina
             share/applications/${id}.desktop
             share/metainfo/${id}.metainfo.xml
             share/icons/hicolor/scalable/apps/copia-e-rinomina.svg
             share/doc/copia-e-rinomina/changelog.gz
             share/doc/copia-e-rinomina/copyright
             share/man/man1/copia-e-rinomina.1.gz)
foreach(size ${sizes})
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/copia-e-rinomina.png)
endforeach()
file(GLOB_RECURSE installed RELATIVE "${prefix}" "${prefix}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed:\n${installed}\nexpected:\n${expected}")
endif()

# A PNG's width and height stand at bytes 16 to 23, four bytes each.
foreach(size ${sizes})
    file(READ "${prefix}/share/icons/hicolor/${size}x${size}/apps/copia-e-rinomina.png" header
         OFFSET 16 LIMIT 8 HEX)
    math(EXPR side "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0x" "0000000" side "${side}")
    string(REGEX MATCH "........$" side "${side}")
    if(NOT header STREQUAL "${side}${side}")
        message(FATAL_ERROR "the ${size}x${size} icon is not ${size} pixels square")
    endif()
endforeach()

file(READ "${prefix}/share/applications/${id}.desktop" entry)
function(require text line)
    string(FIND "${text}" "${line}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "lacks ${line}")
    endif()
endfunction()
require("${entry}" "Name=Copia e Rinomina\n")
require("${entry}" "Exec=copia-e-rinomina\n")
require("${entry}" "Icon=copia-e-rinomina\n")
require("${entry}" "Categories=Graphics;Photography;\n")
# A menu search, in English or Italian, finds the program by each of these words.
foreach(key Keywords "Keywords[it]")
    string(FIND "${entry}" "\n${key}=" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "lacks ${key}=")
    endif()
    string(SUBSTRING "${entry}" ${at} -1 keywords)
    string(REGEX MATCH "=[^\n]*" keywords "${keywords}")
    string(REPLACE "=" ";" keywords "${keywords}")
    foreach(word import photo camera card SD rename importa foto fotocamera scheda rinomina)
        require("${keywords}" ";${word};")
    endforeach()
endforeach()

file(READ "${prefix}/share/metainfo/${id}.metainfo.xml" metainfo)
require("${metainfo}" "<id>${id}</id>")
require("${metainfo}" "<launchable type=\"desktop-id\">${id}.desktop</launchable>")
require("${metainfo}" "<binary>copia-e-rinomina</binary>")
require("${metainfo}" "<release version=\"${VERSION}\"")
file(READ "${CMAKE_CURRENT_LIST_DIR}/../data/changelog" changelog LIMIT 100)
require("${changelog}" "copia-e-rinomina (${VERSION})")

function(validate tool)
    find_program(validator ${tool} NO_CACHE)
    if(NOT validator)
        message(FATAL_ERROR "${tool} is missing: scripts/setup installs it")
    endif()
    execute_process(COMMAND "${validator}" ${ARGN} RESULT_VARIABLE result
                    OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${tool} refuses it:\n${said}")
    endif()
endfunction()
# AppStream 1.0 wants the <developer> tag, which 0.16 (Debian 12) does not know
# yet and names as an info; from 1.0 on, any issue but a pedantic one fails.
execute_process(COMMAND appstreamcli --version OUTPUT_VARIABLE appstream)
string(REGEX MATCH "[0-9]+\\.[0-9.]+" appstream "${appstream}")
set(strict)
if(appstream VERSION_GREATER_EQUAL 1.0)
    set(strict --strict)
endif()
validate(appstreamcli validate --no-net --pedantic ${strict}
         "${prefix}/share/metainfo/${id}.metainfo.xml")
validate(desktop-file-validate "${prefix}/share/applications/${id}.desktop")
file(REMOVE_RECURSE "${prefix}")

# The AppStream metainfo with its <releases> made from the package's
# changelog, so that a release is described once and the software centre
# shows the same words as /usr/share/doc/rorizedivo/changelog.gz.
#   cmake -DCHANGELOG=<debian/changelog> -DTEMPLATE=<metainfo.xml.in>
#         -DOUTPUT=<metainfo.xml> -P appstream-releases.cmake
# Each entry becomes one <release> (newest first, as the changelog has
# them): its version, the date of its closing line, and its items as a list.

foreach(variable CHANGELOG TEMPLATE OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "appstream-releases.cmake needs -D${variable}=...")
  endif()
endforeach()

set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

function(xml_text out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ "${CHANGELOG}" changelog ENCODING UTF-8)
# One list element a line: a semicolon in the text would split it.
string(REPLACE ";" "@semicolon@" changelog "${changelog}")
string(REPLACE "\n" ";" lines "${changelog}")

set(releases "")
set(version "")
set(items "")
set(item "")
foreach(line IN LISTS lines)
  string(REPLACE "@semicolon@" ";" line "${line}")
  if(line MATCHES "^[a-z0-9][a-z0-9.+-]* \\(([^)]+)\\) ")
    set(version "${CMAKE_MATCH_1}")
    set(items "")
    set(item "")
  elseif(line MATCHES "^  \\* (.*)$")
    if(NOT item STREQUAL "")
      string(APPEND items "          <li>${item}</li>\n")
    endif()
    xml_text(item "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^    +(.*)$" AND NOT item STREQUAL "")
    xml_text(more "${CMAKE_MATCH_1}")
    string(APPEND item " ${more}")
  elseif(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(day "${CMAKE_MATCH_1}")
    set(year "${CMAKE_MATCH_3}")
    list(FIND months "${CMAKE_MATCH_2}" month)
    if(version STREQUAL "" OR month LESS 0)
      message(FATAL_ERROR "${CHANGELOG}: a closing line without its entry or with an unknown month: ${line}")
    endif()
    math(EXPR month "${month} + 1")
    if(month LESS 10)
      set(month "0${month}")
    endif()
    string(LENGTH "${day}" digits)
    if(digits EQUAL 1)
      set(day "0${day}")
    endif()
    if(NOT item STREQUAL "")
      string(APPEND items "          <li>${item}</li>\n")
    endif()
    if(items STREQUAL "")
      message(FATAL_ERROR "${CHANGELOG}: the entry of ${version} says nothing")
    endif()
    string(APPEND releases "    <release version=\"${version}\" date=\"${year}-${month}-${day}\">\n"
                           "      <description>\n        <ul>\n${items}        </ul>\n      </description>\n"
                           "    </release>\n")
    set(version "")
    set(items "")
    set(item "")
  endif()
endforeach()
if(releases STREQUAL "")
  message(FATAL_ERROR "${CHANGELOG} holds no entry")
endif()

set(WEATHER_RELEASES "${releases}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)

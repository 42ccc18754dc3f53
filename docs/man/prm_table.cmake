# Fills the parameter tables of prm.inf(5) from tabgen's own definitions:
# the parameter dump of an empty file lists every parameter with its
# address, size and default, in image order.
#   cmake -DTABGEN=... -DTEMPLATE=... -DOUTPUT=... -DTOOLSET_VERSION=...
#         -DTOOLSET_PACKAGE_NAME=... -P prm_table.cmake
execute_process(COMMAND ${TABGEN} -p -f /dev/null
                OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tabgen -p failed (${status})")
endif()

# Sections start at these image offsets.
set(section_starts 0 108 360)
set(section_titles
    "Section 1 (image bytes 0 to 107)"
    "Section 2 (image bytes 108 to 359)"
    "Section 3 (image bytes 360 to 427)")

set(tables "")
set(section -1)
set(rows 0)
string(REPLACE "\n" ";" lines "${dump}")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^nm=([A-Za-z0-9_]+) +addr=0x([0-9A-F]+) sz=([0-9]+) +val=(.*)$")
    message(FATAL_ERROR "unexpected parameter dump line: ${line}")
  endif()
  set(name ${CMAKE_MATCH_1})
  set(address ${CMAKE_MATCH_2})
  set(size ${CMAKE_MATCH_3})
  set(value "${CMAKE_MATCH_4}")
  math(EXPR offset "0x${address} - 0x8000")

  list(LENGTH section_starts section_count)
  math(EXPR next "${section} + 1")
  if(next LESS section_count)
    list(GET section_starts ${next} next_start)
    if(offset GREATER_EQUAL next_start)
      if(section GREATER_EQUAL 0)
        string(APPEND tables ".TE\n")
      endif()
      set(section ${next})
      list(GET section_titles ${section} title)
      string(APPEND tables ".SS \"${title}\"\n.TS\nl2 l1 r2 l.\n"
                           "\\fBName\\fP\t\\fBAddress\\fP\t\\fBSize\\fP\t\\fBDefault\\fP\n_\n")
    endif()
  endif()

  if(size EQUAL 1 OR size EQUAL 2 OR size EQUAL 4)
    # Small numbers in decimal; larger ones also in hex, where masks and
    # register values are easier to read.
    math(EXPR decimal "${value}")
    if(decimal LESS 256)
      set(value ${decimal})
    else()
      math(EXPR hex "${value}" OUTPUT_FORMAT HEXADECIMAL)
      string(TOUPPER "${hex}" hex)
      string(REPLACE "0X" "0x" hex "${hex}")
      set(value "${decimal} (${hex})")
    endif()
  elseif(value MATCHES "^\"(.*)\"$")
    string(REPLACE "\\" "\\e" text "${CMAKE_MATCH_1}")
    set(value "\\(dq${text}\\(dq")
  endif()
  string(APPEND tables "${name}\t0x${address}\t${size}\t${value}\n")
  math(EXPR rows "${rows} + 1")
endforeach()
string(APPEND tables ".TE")
if(rows LESS 200)
  message(FATAL_ERROR "tabgen listed only ${rows} parameters")
endif()

set(PARAMETER_TABLES "${tables}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)

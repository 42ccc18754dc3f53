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

# Each section is shown as a table where the page is wide enough for its
# widest row, and as a list (name, then address, size and default) on a
# narrower terminal: the longest names and defaults do not fit beside each
# other in 60 columns.
set(column_gaps 5)    # l2 l1 r2
set(address_width 7)  # "Address"
set(size_width 4)     # "Size"
set(tables "")
set(table_rows "")
set(list_items "")
set(widest_name 0)
set(widest_default 0)

function(end_section)
  if(table_rows STREQUAL "")
    return()
  endif()
  math(EXPR width "${widest_name} + ${address_width} + ${size_width} + ${widest_default} + ${column_gaps}")
  string(APPEND tables
    ".ie \\n[.l]-\\n[.i]>=${width}n \\{\\\n"
    ".TS\nl2 l1 r2 l.\n\\fBName\\fP\t\\fBAddress\\fP\t\\fBSize\\fP\t\\fBDefault\\fP\n_\n"
    "${table_rows}.TE\n.\\}\n"
    ".el \\{\\\n.PD 0\n.na\n${list_items}.ad\n.PD\n.\\}\n")
  set(tables "${tables}" PARENT_SCOPE)
endfunction()

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
      end_section()
      set(table_rows "")
      set(list_items "")
      set(widest_name 0)
      set(widest_default 0)
      set(section ${next})
      list(GET section_titles ${section} title)
      string(APPEND tables ".SS \"${title}\"\n")
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
    set(shown_width "${value}")
  elseif(value MATCHES "^\"(.*)\"$")
    set(shown_width "${value}")
    string(REPLACE "\\" "\\e" text "${CMAKE_MATCH_1}")
    set(value "\\(dq${text}\\(dq")
  else()
    set(shown_width "${value}")
  endif()
  string(LENGTH "${name}" name_length)
  string(LENGTH "${shown_width}" default_length)
  if(name_length GREATER widest_name)
    set(widest_name ${name_length})
  endif()
  if(default_length GREATER widest_default)
    set(widest_default ${default_length})
  endif()
  string(APPEND table_rows "${name}\t0x${address}\t${size}\t${value}\n")
  string(APPEND list_items ".TP\n.B ${name}\n0x${address}, ${size} bytes, default ${value}\n")
  math(EXPR rows "${rows} + 1")
endforeach()
end_section()
if(rows LESS 200)
  message(FATAL_ERROR "tabgen listed only ${rows} parameters")
endif()

set(PARAMETER_TABLES "${tables}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)

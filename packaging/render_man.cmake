# Renders the manual page as plain text for the Windows package, where no
# man reader exists: UTF-8, no overstriking or terminal escapes for bold and
# underline, no hyphenation, CRLF line ends.
#   cmake -DFORMATTER=/usr/bin/groff -DINPUT=man/dravont.1 -DOUTPUT=MANUAL.txt
#         -P packaging/render_man.cmake
# FORMATTER is groff or mandoc.
get_filename_component(formatter_name "${FORMATTER}" NAME_WE)
if(formatter_name STREQUAL "groff")
  # grotty: -c old-style output, -b -u -o none of its overstriking.
  set(arguments -man -Tutf8 -rHY=0 -P-c -P-b -P-u -P-o)
else()
  set(arguments -Tutf8 -man)
endif()
execute_process(COMMAND "${FORMATTER}" ${arguments} "${INPUT}"
  OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "${FORMATTER} could not render ${INPUT} (${status}): ${errors}")
endif()

# mandoc marks bold as "c BS c" and underline as "_ BS c", where c may be a
# multi-byte UTF-8 character; dropping every character that a backspace
# follows leaves the text. Any SGR sequence goes too.
string(ASCII 8 backspace)
string(ASCII 27 escape)
string(ASCII 128 continuation_first)
string(ASCII 191 continuation_last)
set(continuation "[${continuation_first}-${continuation_last}]")
string(REGEX REPLACE "[^${backspace}]${continuation}*${backspace}" "" text "${text}")
string(REGEX REPLACE "${escape}\\[[0-9;]*m" "" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")

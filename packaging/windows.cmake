# The Windows package: a .zip of one folder with dravont.exe, README.txt,
# LICENSE.txt and, where groff or mandoc renders it, the manual page as
# MANUAL.txt. The texts get CRLF line ends, for Notepad and the like.
# Included from packaging.cmake.
set(doc_build_dir ${PROJECT_BINARY_DIR}/doc)

install(TARGETS dravont RUNTIME DESTINATION .)

find_program(DRAVONT_MAN_FORMATTER NAMES groff mandoc)
set(DRAVONT_ZIP_CONTENTS
"  dravont.exe   the tool, a single file that needs no DLL of its own
  README.txt    this text")
if(DRAVONT_MAN_FORMATTER)
  message(STATUS "Windows package: the manual page rendered as MANUAL.txt "
                 "by ${DRAVONT_MAN_FORMATTER}")
  add_custom_command(OUTPUT ${doc_build_dir}/MANUAL.txt
    COMMAND ${CMAKE_COMMAND} -DFORMATTER=${DRAVONT_MAN_FORMATTER}
            -DINPUT=${PROJECT_SOURCE_DIR}/man/dravont.1 -DOUTPUT=${doc_build_dir}/MANUAL.txt
            -P ${CMAKE_CURRENT_LIST_DIR}/render_man.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/man/dravont.1 ${CMAKE_CURRENT_LIST_DIR}/render_man.cmake
    VERBATIM)
  add_custom_target(dravont_docs ALL DEPENDS ${doc_build_dir}/MANUAL.txt)
  install(FILES ${doc_build_dir}/MANUAL.txt DESTINATION .)
  string(APPEND DRAVONT_ZIP_CONTENTS "\n  MANUAL.txt    the manual page")
else()
  message(STATUS "Windows package: neither groff nor mandoc found, "
                 "so the .zip leaves out the manual page (MANUAL.txt)")
endif()
string(APPEND DRAVONT_ZIP_CONTENTS "\n  LICENSE.txt   the licence (MIT)")

# README.txt and LICENSE.txt are written at configure time, which runs again
# when their sources change. configure_file's NEWLINE_STYLE would leave the
# line ends inside DRAVONT_ZIP_CONTENTS alone, hence the conversion here.
function(dravont_write_crlf text path)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  if(EXISTS ${path})
    file(READ ${path} old_text)
    if(old_text STREQUAL text)
      return()  # unchanged: keep its time stamp
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/windows/README.txt.in ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_CURRENT_LIST_DIR}/windows/README.txt.in readme_text)
string(CONFIGURE "${readme_text}" readme_text @ONLY)
dravont_write_crlf("${readme_text}" ${doc_build_dir}/README.txt)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
dravont_write_crlf("${license_text}" ${doc_build_dir}/LICENSE.txt)
install(FILES ${doc_build_dir}/README.txt ${doc_build_dir}/LICENSE.txt DESTINATION .)

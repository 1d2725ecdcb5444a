# Writes a program's manual page from its own --help text, so the two never
# differ: cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DVERSION=x.y.z
#              -DOUTPUT=file.1 -P HelpToMan.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${NAME} --help failed: ${status}")
endif()

string(TOUPPER ${NAME} title)
# Shown as it is: backslashes escaped, and a line starting with a control
# character taken as text.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUTPUT}
  ".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"Corvane Quorelle Player\"\n"
  ".SH NAME\n"
  "${NAME} \\- ${SUMMARY}\n"
  ".SH SYNOPSIS AND OPTIONS\n"
  "The text of\n.B ${NAME} \\-\\-help:\n"
  ".PP\n.nf\n${help}.fi\n"
  ".SH SEE ALSO\n"
  ".BR quorelle-player (1),\n.BR quorelle-play (1),\n.BR quorelle-probe (1)\n")

# Writes the help2man include file of ostrel-cli: a COMMANDS section made of each command's
# own --help text, and the files and references. Run with -DCLI=<ostrel-cli> -DOUT=<file>.
set(text "[COMMANDS]\n")
foreach(command decode convert report log devices)
  execute_process(COMMAND ${CLI} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} ${command} --help failed: ${status}")
  endif()
  string(REPLACE "\\" "\\\\" help "${help}")
  string(REPLACE "-" "\\-" help "${help}")
  string(APPEND text ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
string(APPEND text "[SEE ALSO]\n.BR ostrel (1)\n.PP\nThe user's manual: /usr/share/ostrel/manual/index.html\n")
file(WRITE ${OUT} "${text}")

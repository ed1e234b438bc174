# Writes plo's shell completion scripts from the built binary (cmake -DPLO=... -DOUT=... -P).
# A binary without the `completion` command, or one that fails, leaves no file for that shell, and
# the install skips it.
set(names bash plo zsh _plo fish plo.fish)
while(names)
  list(POP_FRONT names shell file)
  execute_process(COMMAND ${PLO} completion ${shell}
                  OUTPUT_VARIABLE script RESULT_VARIABLE status ERROR_QUIET TIMEOUT 30)
  if(status EQUAL 0 AND NOT script STREQUAL "")
    file(WRITE ${OUT}/${file}.tmp "${script}")
    file(RENAME ${OUT}/${file}.tmp ${OUT}/${file})
  else()
    file(REMOVE ${OUT}/${file})
  endif()
endwhile()
file(TOUCH ${OUT}/stamp)

# Binary -> text -> binary through shadestrip-cellart must give back the same
# bytes. Run with cmake -P:
#   -DCELLART=tool -DKIND=cells|bytes -DFILE=resource -DWIDTH=n -DWORK=scratch-prefix
foreach(var CELLART KIND FILE WIDTH WORK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
execute_process(COMMAND ${CELLART} decompile ${KIND} ${FILE} ${WIDTH} ${WORK}.txt
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "decompiling ${FILE} failed")
endif()
execute_process(COMMAND ${CELLART} compile ${WORK}.txt ${WORK}.bin RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "compiling the text of ${FILE} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FILE} ${WORK}.bin
                RESULT_VARIABLE result)
file(REMOVE ${WORK}.txt ${WORK}.bin)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FILE} changed on its way through text")
endif()

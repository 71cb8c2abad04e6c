cmake_minimum_required(VERSION 3.25)
# cmake -DNM=... -DCODE="lib.a;a.obj" -DBOUND="F;G" -P CheckBoundFunctions.cmake
# Fails when any library or object in CODE calls a function named in BOUND
# through the import table (an undefined __imp_ symbol) instead of binding it
# at run time.
foreach(file IN LISTS CODE)
  execute_process(COMMAND ${NM} -u ${file} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "nm failed on ${file}")
  endif()
  foreach(name IN LISTS BOUND)
    if(symbols MATCHES "__imp_${name}\n")
      message(FATAL_ERROR "${file} imports ${name}, which the launchers must bind at run time")
    endif()
  endforeach()
endforeach()
message(STATUS "none of ${BOUND} is imported")

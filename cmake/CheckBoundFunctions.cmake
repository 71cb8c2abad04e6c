cmake_minimum_required(VERSION 3.25)
# cmake -DOBJDUMP=... -DPROGRAMS="a.exe;b.exe" -DBOUND="F;G" -P CheckBoundFunctions.cmake
# Fails when any program in PROGRAMS imports a function named in BOUND. The
# finished program is what the loader reads, so whatever the toolchain's
# run-time libraries bring is checked with the code that calls the function
# through a run-time binding.
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objdump failed on ${program}")
  endif()
  # The import listing runs from its heading to the export table, if any.
  string(FIND "${dump}" "The Import Tables" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${program} has no import table")
  endif()
  string(SUBSTRING "${dump}" ${start} -1 imports)
  string(FIND "${imports}" "The Export Tables" end)
  if(NOT end EQUAL -1)
    string(SUBSTRING "${imports}" 0 ${end} imports)
  endif()
  foreach(name IN LISTS BOUND)
    if(imports MATCHES "[ \t]${name}\n")
      message(FATAL_ERROR "${program} imports ${name}, which 64-bit Windows XP lacks; bind it at run time")
    endif()
  endforeach()
endforeach()
message(STATUS "none of ${BOUND} is imported")

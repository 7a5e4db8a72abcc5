# Usage: cmake -DFILE=program.exe [-DGOAL=bytes] -P check_size.cmake
file(SIZE "${FILE}" size)
if(size LESS 1024 OR size GREATER 1048576)
  message(FATAL_ERROR "${FILE} is ${size} bytes: the program accepts only 1024 to 1048576")
endif()
# The size the program is kept within (0: not checked).
if(GOAL AND size GREATER GOAL)
  message(FATAL_ERROR "${FILE} is ${size} bytes, over the goal of ${GOAL} (TOLVA_SIZE_GOAL)")
endif()
message(STATUS "${FILE}: ${size} bytes")

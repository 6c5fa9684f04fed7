# Says a file's size against its goal, and fails when it is over:
#   cmake -DFILE=<file> -DGOAL=<bytes> -P check_size.cmake
file(SIZE "${FILE}" size)
get_filename_component(name "${FILE}" NAME)
if(size GREATER GOAL)
  message(FATAL_ERROR "${name}: ${size} bytes, over its goal of at most ${GOAL}")
endif()
message("    ${name}: ${size} bytes (goal: at most ${GOAL}) ok")

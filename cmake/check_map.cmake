# Usage: cmake -DMAP=program.exe.map -P check_map.cmake
# Fails when the link pulled in the C++ runtime library or MinGW's own printf: the program uses
# neither (its texts are fixed-size, its formatting is msvcrt's).
# The map's first part lists every archive member the link took, one a line from its first column.
file(STRINGS "${MAP}" pulled
     REGEX "^[^ \t].*(lib(std|sup)c\\+\\+\\.a\\(|libmingwex\\.a\\([^)]*(mingw_pformat|gdtoa|[dg]misc))")
if(pulled)
  list(REMOVE_DUPLICATES pulled)
  list(JOIN pulled "\n  " lines)
  message(FATAL_ERROR "${MAP} shows objects the program must not carry:\n  ${lines}")
endif()

# Writes OUT: a C program that takes the address of every function that the
# preprocessed public headers (IN) declare for import. Linked against the
# DLL's import library, it links only when the DLL exports every function
# the headers declare for Windows.
file(READ ${IN} text)
string(REGEX MATCHALL "dllimport[^;]*" declarations "${text}")
set(names "")
foreach(declaration IN LISTS declarations)
  string(STRIP "${declaration}" declaration)
  # The name stands right before the argument list that ends the declaration.
  if(declaration MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t\r\n]*\\([^()]*\\)$")
    list(APPEND names ${CMAKE_MATCH_1})
  endif()
endforeach()
list(LENGTH names count)
if(count EQUAL 0)
  message(FATAL_ERROR "no imported function found in ${IN}")
endif()
set(program "/* Generated from the public headers by header_calls.cmake. */\n")
string(APPEND program "#include <stdio.h>\n#include \"vktcom_ext.h\"\n\ntypedef void (*any_fn)(void);\n\n")
string(APPEND program "int main(void) {\n  /* volatile: every address is taken, none is optimised away */\n  volatile any_fn declared[] = {\n")
foreach(name IN LISTS names)
  string(APPEND program "      (any_fn)${name},\n")
endforeach()
string(APPEND program "  };\n  printf(\"HEADER FUNCTIONS %u\\n\", (unsigned)(sizeof declared / sizeof declared[0]));\n")
string(APPEND program "  return declared[0] == 0;\n}\n")
file(WRITE ${OUT} "${program}")

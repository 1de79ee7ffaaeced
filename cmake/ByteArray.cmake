# byte_array(<variable> <array name> <file>): a C++ definition of the file's bytes, 16 a line, for
# the scripts that compile files into the programs.
function(byte_array variable name file)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  set(${variable} "const unsigned char ${name}[] = {\n    ${bytes}};\n" PARENT_SCOPE)
endfunction()

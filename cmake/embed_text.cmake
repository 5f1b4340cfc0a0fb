# Writes a C++ source that holds a text file as one character array:
#   cmake -DINPUT=file.xml -DOUTPUT=file.cpp -DSYMBOL=name -P embed_text.cmake
file(READ "${INPUT}" text)
string(FIND "${text}" ")zvtext\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; edit that file.\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = R\"zvtext(${text})zvtext\";\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")

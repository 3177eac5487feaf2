# Writes a C++ source that holds the text dictionary, so that the program
# carries it built in: cmake -DINPUT=dicom.dic -DOUTPUT=out.cpp -P this file.
file(READ ${INPUT} text)
string(LENGTH "${text}" length)
file(WRITE ${OUTPUT}.tmp
  "// Generated at build time from data/dicom.dic: do not edit.\n"
  "#include \"dicom/BuiltInDictionary.h\"\n\n"
  "const char* const BuiltInDictionaryText = R\"dicom_dic(${text})dicom_dic\";\n"
  "const unsigned long BuiltInDictionaryLength = ${length};\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.tmp ${OUTPUT})
file(REMOVE ${OUTPUT}.tmp)

// The text dictionary the program carries built in: data/dicom.dic as it
// was when the program was built. The dictionary search falls back on it
// when no dictionary file can be found.
#ifndef QZM_BUILT_IN_DICTIONARY_H
#define QZM_BUILT_IN_DICTIONARY_H

extern const char* const BuiltInDictionaryText;
extern const unsigned long BuiltInDictionaryLength;

#endif

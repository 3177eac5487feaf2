// The program's name and version, as the version block and the files it
// writes (PNG "Software" text) show them.
#ifndef QZC_PROGRAM_VERSION_H
#define QZC_PROGRAM_VERSION_H

#define QZC_PROGRAM_NAME "medconv"
#define QZC_PROGRAM_VERSION "1.9i"

#endif

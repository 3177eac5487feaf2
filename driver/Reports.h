// The fixed texts of the medconv command: short usage, long help, version
// block and build configuration report.
#ifndef MEDCONV_REPORTS_H
#define MEDCONV_REPORTS_H

#include <ostream>

void PrintUsage();
void PrintHelp();
void PrintVersion();
std::ostream& PrintBuildConfiguration(std::ostream& os);

#endif

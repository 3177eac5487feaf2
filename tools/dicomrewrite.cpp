// Reads a DICOM file into a data element set and writes the set back, in a
// native syntax given by its option (il, el or eb) or in its own syntax:
// the set reader and writer alone, whatever the file holds (no frame is
// built). Used by the round-trip checks of tools/roundtrip.py. Exit status:
// 0 written, 1 not written, 2 wrong usage, 3 not read.
#include <cstring>
#include <iostream>

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcException.h"
#include "lib/qzcFileName.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: dicomrewrite il|el|eb|same IN OUT\n";
    return 2;
  }
  const struct {
    const char* option;
    const char* uid;
  } syntaxes[] = {{"il", qzmDicomDataElementSet::ImplicitVRLittleEndian},
                  {"el", qzmDicomDataElementSet::ExplicitVRLittleEndian},
                  {"eb", qzmDicomDataElementSet::ExplicitVRBigEndian},
                  {"same", nullptr}};
  const char* uid = nullptr;
  bool known = false;
  for (const auto& syntax : syntaxes)
    if (std::strcmp(argv[1], syntax.option) == 0) {
      uid = syntax.uid;
      known = true;
    }
  if (!known) {
    std::cerr << "dicomrewrite: unknown syntax " << argv[1] << "\n";
    return 2;
  }
  // Errors are reported and counted by the exit status, not fatal.
  qzcException::errorChannel.limit = 0xFFFF;
  qzmDicomDataElementSet set;
  if (!set.Load(qzcFileName(argv[2])))
    return 3;  // not read
  const auto syntax = set.find(0x0002, 0x0010);
  // Encapsulated pixel data stay in their own syntax.
  if (uid != nullptr && syntax != set.end() && qzmDicomDataElementSet::IsNativeSyntax(syntax->second.UI()))
    syntax->second.UI() = uid;
  return set.Save(qzcFileName(argv[3])) ? 0 : 1;
}

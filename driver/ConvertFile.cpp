// The per-file pipeline at file level: reading the set, anonymisation, the
// text dump, the frames (FrameLoop.cpp) and the renaming of the input.
#include "driver/ConvertFile.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "driver/Anonymize.h"
#include "driver/DriverState.h"
#include "driver/FrameLoop.h"
#include "driver/OutputName.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcWarning.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const Signature = "bool convert_file( const qzcFileName&, const qzcCmdLineParser& )";

// Inputs with these extensions are image files, not data sets.
bool IsImageFileExtension(const qzcString& extension) {
  for (int i = 0; i < ExtensionCount; ++i)
    if (i != ExtDcm && extension == ExtensionNames[i])
      return true;
  return false;
}

// True when both names lead to one existing file.
bool IsSameFile(const qzcString& a, const qzcString& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// Writes all of text to a new file (permissions 0664, before the umask).
// False with errno set when the file cannot be opened; openFailed tells
// which of the two steps failed.
bool WriteTextFile(const qzcString& name, const std::string& text, bool& openFailed) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
  openFailed = fd < 0;
  if (openFailed)
    return false;
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n <= 0)
      break;
    written += static_cast<std::size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  return written == text.size() && closed;
}

// The text dump of -t: mode 0 into "<dir><name>.txt", mode 1 (or mode 0
// with --out) to standard output. False when it could not be written; its
// failures do not stop the pipeline.
bool DumpSet(const qzcFileName& file, const qzmDicomDataElementSet& set, const qzcCmdLineParser& parser,
             const qzmMedicalFrame::ConversionSettings& settings, const qzcString& outputDirectory,
             const qzcString& inputName) {
  const SLONG mode = parser.GetIntOption("t", 0);
  if (mode < 0 || mode > 1) {
    qzcWarning(Signature, "wrong parameters for -t!").Report();
    return false;
  }
  if (mode == 1 || parser.GetBoolOption("out", false))
    return static_cast<bool>(set.Print(*qzcException::dataChannel.stream));
  const qzcString name = outputDirectory +
                         BuildOutputName(settings.RenamePattern, set, FileRank, FileCount, inputName, 0) + "." +
                         ExtensionNames[ExtTxt];
  if (CurrentFileOrder && !CurrentFileOrder->ClaimOutput(name))
    return true;
  // A pattern can name the dump like a .txt input: that input is kept.
  if (IsSameFile(name, file)) {
    qzcError(Signature, "the text file %s would replace the input file!", name.c_str()).Report();
    qzcError(Signature, "while opening text file %s!", name.c_str()).Report();
    return false;
  }
  std::ostringstream text;
  set.Print(text);
  bool openFailed = false;
  if (WriteTextFile(name, text.str(), openFailed) && text)
    return true;
  if (openFailed)
    qzcError(Signature, "while opening text file %s!", name.c_str()).Report();
  else
    qzcError(Signature, "while writing set to text file %s!", name.c_str()).Report();
  return false;
}

bool AsksForFrames(const qzcCmdLineParser& parser) {
  for (const char* option : {"acc", "get", "a", "d", "j", "p", "r", "w"})
    if (parser.HasOption(option))
      return true;
  return false;
}

// Renames from to to unless to exists, in one step of the file system, so
// that no other process or thread can slip a file in between; false with
// errno set (EEXIST when to exists). File systems without the no-replace
// rename get a hard link and the removal of the old name.
bool RenameWithoutReplacing(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS)
    return false;
  if (::link(from, to) != 0)
    return false;
  return ::unlink(from) == 0;
}

// Gives the input file the name the pattern builds when it holds "ren_o".
// An existing file of that name is never replaced: renaming two inputs to
// the same name must not lose the first one; the earlier file of the list
// gets the name.
bool RenameInput(const qzcFileName& file, const qzmDicomDataElementSet& set,
                 const qzmMedicalFrame::ConversionSettings& settings, const qzcString& outputDirectory,
                 const qzcString& inputName) {
  if (settings.RenamePattern.empty() || settings.RenamePattern.FindField("ren_o") == 0)
    return true;
  const qzcString newName =
      outputDirectory + BuildOutputName(settings.RenamePattern, set, FileRank, FileCount, inputName, 0);
  if (newName == file || IsSameFile(newName, file))
    return true;
  if (CurrentFileOrder)
    CurrentFileOrder->WaitForEarlierFiles();
  if (RenameWithoutReplacing(file.c_str(), newName.c_str()))
    return true;
  if (errno == EEXIST)
    qzcError(Signature, "file %s already exists, it is not replaced!", newName.c_str()).Report();
  qzcError(Signature, "while renaming original file %s to %s!", file.c_str(), newName.c_str()).Report();
  return false;
}

}  // namespace

bool convert_file(const qzcFileName& file, const qzcCmdLineParser& parser,
                  const qzmMedicalFrame::ConversionSettings& settings) {
  const qzcString outputDirectory = settings.DestinationPath.empty() ? file.GetDirectory() : settings.DestinationPath;
  const qzcString inputName = file.GetName();

  qzmDicomDataElementSet set;
  if (!IsImageFileExtension(file.GetExtension())) {
    if (!set.Load(file, nullptr, settings.ReadSyntax)) {
      qzcError(Signature, "while reading set from file %s!", file.c_str()).Report();
      return false;
    }
    if (parser.HasOption("anon") && !anonymize_set(set, settings.AnonymizeFlags, settings.AnonymizeTags)) {
      qzcWarning(Signature, "while anonymizing the set!").Report();
      return false;
    }
  }

  if (parser.HasOption("t") && !DumpSet(file, set, parser, settings, outputDirectory, inputName))
    OutputMissing = true;

  if (AsksForFrames(parser) && !convert_frames(file, set, parser, settings, outputDirectory, inputName))
    return false;

  return RenameInput(file, set, settings, outputDirectory, inputName);
}

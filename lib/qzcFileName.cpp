// Pieces of file names and the library-directory search.
#include "lib/qzcFileName.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const directorySeparators = "/:\\";

// Position of the last directory separator, or npos.
std::string::size_type LastSeparator(const std::string& name) {
  return name.find_last_of(directorySeparators);
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

// The folder of the running program, without its final separator; empty
// when the system does not tell.
std::string ProgramFolder() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0)
    return std::string();
  const std::string program(path, static_cast<std::size_t>(length));
  const std::string::size_type separator = program.rfind('/');
  return separator == std::string::npos ? std::string() : program.substr(0, separator);
}

}  // namespace

qzcString qzcFileName::GetDirectory() const {
  const size_type separator = LastSeparator(*this);
  return separator == npos ? qzcString() : qzcString(substr(0, separator + 1));
}

qzcString qzcFileName::GetName() const {
  const size_type separator = LastSeparator(*this);
  return separator == npos ? qzcString(*this) : qzcString(substr(separator + 1));
}

qzcString qzcFileName::GetExtension() const {
  // A dot of a directory name does not start an extension of the file.
  const size_type dot = rfind('.');
  const size_type separator = LastSeparator(*this);
  if (dot == npos || (separator != npos && dot < separator))
    return qzcString();
  return qzcString(substr(dot + 1));
}

qzcString qzcFileName::GetNameWithoutExtension() const {
  const qzcString name = GetName();
  const size_type dot = name.rfind('.');
  return dot == npos ? name : qzcString(name.substr(0, dot));
}

qzcFileName FindInLibraryDirectories(const qzcFileName& name, const qzcString& subdir) {
  const std::string base = "/" + name.GetName();
  const char* homeVariable = std::getenv("HOME");
  const std::string home = homeVariable ? homeVariable : "";
  const bool withShare = !subdir.empty();

  std::vector<std::string> candidates;
  candidates.push_back("." + base);
  candidates.push_back(home + "/lib" + base);
  if (withShare)
    candidates.push_back(home + "/share/" + subdir + base);
  // An installed program finds the files installed with it, whatever the
  // prefix.
  const std::string programFolder = ProgramFolder();
  if (withShare && !programFolder.empty())
    candidates.push_back(programFolder + "/../share/" + subdir + base);
  for (const char* directory :
       {"/lib", "/usr/lib", "/usr/local/lib", "/usr/X11/lib", "/usr/lib/X11", "/usr/openwin/lib"})
    candidates.push_back(directory + base);
  if (withShare) {
    candidates.push_back("/usr/share/" + subdir + base);
    candidates.push_back("/usr/local/share/" + subdir + base);
  }

  for (const std::string& candidate : candidates)
    if (FileExists(candidate))
      return qzcFileName(candidate);
  return qzcFileName();
}

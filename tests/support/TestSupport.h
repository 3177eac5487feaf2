// Helpers shared by the test programs: temporary folders, whole-file reads and
// writes, running the built program.
#ifndef MEDCONV_TEST_SUPPORT_H
#define MEDCONV_TEST_SUPPORT_H

#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its content
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// Result of running a command through the shell.
struct RunResult {
  int status = -1;  // exit status, or -1 when the command did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs a shell command line in the folder given (empty: the current one),
// capturing both output streams.
RunResult Run(const std::string& command, const std::string& folder = "");

// True when a program of that name is on the PATH (for oracle-based tests).
bool HaveProgram(const std::string& name);
// Debian's pydicom test files as links in a folder of dir, ending with "/": the program run on them cannot
// write among the package's files, even when a fault puts outputs beside their inputs.
std::string LinkedCorpus(const TempDir& dir);

}  // namespace testsupport

#endif

#include "support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/medconv-test-XXXXXX";
  if (!mkdtemp(&pattern[0]))
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::string command = "rm -rf '" + path_ + "'";
  if (std::system(command.c_str()) != 0)
    std::fprintf(stderr, "could not remove %s\n", path_.c_str());
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

RunResult Run(const std::string& command, const std::string& folder) {
  TempDir capture;
  std::string line = (folder.empty() ? "" : "cd '" + folder + "' && ") + "(" + command + ") >'" + capture.file("out") +
                     "' 2>'" + capture.file("err") + "'";
  RunResult result;
  int raw = std::system(line.c_str());
  if (raw != -1 && WIFEXITED(raw))
    result.status = WEXITSTATUS(raw);
  result.out = ReadText(capture.file("out"));
  result.err = ReadText(capture.file("err"));
  return result;
}

bool HaveProgram(const std::string& name) {
  return Run("command -v " + name).status == 0;
}

}  // namespace testsupport

#include "support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace testsupport {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/medconv-test-XXXXXX";
  if (!mkdtemp(&pattern[0]))
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ReadText(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

RunResult Run(const std::string& command, const std::string& folder) {
  // One capture folder for the whole test program.
  static const TempDir capture;
  const std::string line = (folder.empty() ? "" : "cd '" + folder + "' && ") + "(" + command + ") >'" +
                           capture.file("out") + "' 2>'" + capture.file("err") + "'";
  RunResult result;
  const int raw = std::system(line.c_str());
  if (raw != -1 && WIFEXITED(raw))
    result.status = WEXITSTATUS(raw);
  result.out = ReadText(capture.file("out"));
  result.err = ReadText(capture.file("err"));
  return result;
}

bool HaveProgram(const std::string& name) {
  return Run("command -v " + name).status == 0;
}

std::string LinkedCorpus(const TempDir& dir) {
  const std::filesystem::path corpus = "/usr/lib/python3/dist-packages/pydicom/data/test_files", links = dir.file("corpus");
  std::error_code error;
  std::filesystem::create_directory(links, error);
  for (const auto& entry : std::filesystem::directory_iterator(corpus, error))
    if (entry.is_regular_file())
      std::filesystem::create_symlink(entry.path(), links / entry.path().filename(), error);
  return links.string() + "/";
}

}  // namespace testsupport

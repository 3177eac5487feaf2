#include "FuzzSupport.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcException.h"
#include "lib/qzcFileName.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzzsupport {

namespace {

// Accepts and forgets everything written to it.
class DiscardingBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::ostream& Sink() {
  static DiscardingBuffer buffer;
  static std::ostream sink(&buffer);
  return sink;
}

void LoadDictionary() {
  qzmDicomDataElementDictionary& dictionary = qzmDicomDataElementDictionary::ProcessWide();
  if (dictionary.empty())
    dictionary.Load(qzcFileName(MEDCONV_SOURCE_DIR "/data/dicom.dic"));
  qzmDicomDataElementSet::SetDictionary(&dictionary);
}

void RemoveFilesIn(const std::string& folder) {
  DIR* directory = ::opendir(folder.c_str());
  if (!directory)
    return;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      ::unlink((folder + name).c_str());
  }
  ::closedir(directory);
}

void RemoveScratchFolder() {
  const std::string& scratch = ScratchFolder();
  RemoveFilesIn(scratch + "out/");
  ::rmdir((scratch + "out").c_str());
  RemoveFilesIn(scratch);
  ::rmdir(scratch.c_str());
}

}  // namespace

void BeginInput() {
  static const bool ready = [] {
    LoadDictionary();
    return true;
  }();
  (void)ready;
  for (qzcReportChannel* channel : {&qzcException::errorChannel, &qzcException::warningChannel}) {
    channel->stream = &Sink();
    channel->enabled = true;
    channel->count = 0;
    channel->limit = 65535;
  }
  qzcException::messageChannel.stream = &Sink();
  qzcException::messageChannel.enabled = true;
}

const std::string& ScratchFolder() {
  // Never destroyed: the exit handler that removes the folder needs it.
  static const std::string* const folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/medconv-fuzz-XXXXXX";
    if (!::mkdtemp(&pattern[0]))
      std::abort();
    std::atexit(RemoveScratchFolder);
    return new std::string(pattern + "/");
  }();
  return *folder;
}

std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = ScratchFolder() + name;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  if (!file)
    std::abort();
  return path;
}

const std::string& OutputFolder() {
  static const std::string* const folder = [] {
    const std::string path = ScratchFolder() + "out/";
    ::mkdir(path.c_str(), 0700);
    return new std::string(path);
  }();
  return *folder;
}

void EmptyOutputFolder() {
  RemoveFilesIn(OutputFolder());
}

}  // namespace fuzzsupport

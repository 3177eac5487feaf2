#include "FuzzSupport.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcException.h"
#include "lib/qzcFileName.h"

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <streambuf>

namespace fuzzsupport {

namespace {

// Accepts and forgets everything written to it.
class DiscardingBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The scratch folder of this process, ending with "/"; made on first use,
// removed at exit (never destroyed: the exit handler needs it).
const std::string& ScratchFolder() {
  static const std::string* const folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/medconv-fuzz-XXXXXX";
    if (!::mkdtemp(&pattern[0]))
      std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return new std::string(pattern + "/");
  }();
  return *folder;
}

}  // namespace

void BeginInput() {
  static DiscardingBuffer buffer;
  static std::ostream sink(&buffer);
  static const bool ready = [] {
    qzmDicomDataElementDictionary& dictionary = qzmDicomDataElementDictionary::ProcessWide();
    if (dictionary.empty())
      dictionary.Load(qzcFileName(MEDCONV_SOURCE_DIR "/data/dicom.dic"));
    qzmDicomDataElementSet::SetDictionary(&dictionary);
    return true;
  }();
  (void)ready;
  for (qzcReportChannel* channel : {&qzcException::errorChannel, &qzcException::warningChannel}) {
    channel->stream = &sink;
    channel->enabled = true;
    channel->count = 0;
    channel->limit = 65535;
  }
  qzcException::messageChannel.stream = &sink;
  qzcException::messageChannel.enabled = true;
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
  static const std::string folder = ScratchFolder() + "out/";
  std::filesystem::create_directory(folder);
  return folder;
}

void EmptyOutputFolder() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(OutputFolder(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

}  // namespace fuzzsupport

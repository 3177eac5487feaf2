#include "dicom/qzmDeflatedBody.h"

#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/ifbstream.h"
#include "lib/iobs.h"
#include "lib/qzcError.h"

const char* const qzmDeflatedBody::SyntaxUID = "1.2.840.10008.1.2.1.99";

namespace {

const char* const Signature = "bool qzmDeflatedBody::Open( ifbstream&, ifbstream& )";

// The inflated bodies read on one thread, removed at its end. Only the most
// recent ones are kept: the sets of a file being converted (its whole read
// and a filtered one) use them, while those of the files before are gone,
// and a batch of deflated files must not fill the disk.
class TemporaryFiles {
 public:
  static constexpr std::size_t Kept = 4;

  ~TemporaryFiles() {
    for (const std::string& name : names_)
      std::remove(name.c_str());
  }
  // A new empty file, open for writing; empty name when none can be made.
  std::string Create(std::FILE*& file) {
    while (names_.size() >= Kept)
      Discard(names_.front());
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/medconv-inflated-XXXXXX";
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0)
      return std::string();
    name = pattern.data();
    names_.push_back(name);
    file = fdopen(descriptor, "wb");
    if (!file)
      close(descriptor);
    return name;
  }
  // A file given up at once.
  void Discard(const std::string& name) {
    std::remove(name.c_str());
    names_.erase(std::remove(names_.begin(), names_.end(), name), names_.end());
  }

 private:
  std::vector<std::string> names_;
};

TemporaryFiles& Inflated() {
  thread_local TemporaryFiles files;
  return files;
}

struct Inflater {
  z_stream Stream{};
  bool Ready = false;
  Inflater() { Ready = inflateInit2(&Stream, -MAX_WBITS) == Z_OK; }  // raw deflate: no zlib header
  ~Inflater() {
    if (Ready)
      inflateEnd(&Stream);
  }
};

// Inflates from the compressed stream's position to the end of the deflate
// stream, writing into file at most cap bytes.
bool InflateInto(ifbstream& compressed, std::FILE* file, unsigned long long cap) {
  Inflater inflater;
  if (!inflater.Ready) {
    qzcError(Signature, "unable to set up zlib's inflater!").Report();
    return false;
  }
  std::vector<unsigned char> in(1 << 16), out(1 << 16);
  unsigned long long written = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (inflater.Stream.avail_in == 0) {
      compressed.read(reinterpret_cast<char*>(in.data()), std::streamsize(in.size()));
      inflater.Stream.next_in = in.data();
      inflater.Stream.avail_in = uInt(compressed.gcount());
      if (inflater.Stream.avail_in == 0) {
        qzcError(Signature, "the deflated data set ends before its deflate stream does!").Report();
        return false;
      }
    }
    inflater.Stream.next_out = out.data();
    inflater.Stream.avail_out = uInt(out.size());
    status = inflate(&inflater.Stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) {
      qzcError(Signature, "the deflated data set is damaged (zlib: %s)!",
               inflater.Stream.msg ? inflater.Stream.msg : "no message")
          .Report();
      return false;
    }
    const size_t produced = out.size() - inflater.Stream.avail_out;
    written += produced;
    if (written > cap) {
      qzcError(Signature, "the deflated data set inflates beyond %llu bytes, more than any real set!", cap).Report();
      return false;
    }
    if (std::fwrite(out.data(), 1, produced, file) != produced) {
      qzcError(Signature, "unable to write the inflated data set to a temporary file!").Report();
      return false;
    }
  }
  return true;
}

}  // namespace

bool qzmDeflatedBody::Open(ifbstream& compressed, ifbstream& inflated) {
  compressed.clear();
  const std::streamoff start = compressed.tellg();
  const unsigned long long left = compressed.BytesLeft();
  unsigned long long cap = left * RatioCap;
  if (cap < MinimumCap)
    cap = MinimumCap;
  std::FILE* file = nullptr;
  const std::string name = Inflated().Create(file);
  if (name.empty() || !file) {
    qzcError(Signature, "unable to create a temporary file for the inflated data set!").Report();
    return false;
  }
  const bool complete = InflateInto(compressed, file, cap);
  const bool closed = std::fclose(file) == 0;
  compressed.clear();
  compressed.seekg(start + std::streamoff(left));
  if (!complete || !closed) {
    Inflated().Discard(name);
    return false;
  }
  inflated.open(name.c_str(), std::ios::in | std::ios::binary);
  if (!inflated) {
    qzcError(Signature, "unable to read back the inflated data set!").Report();
    return false;
  }
  inflated.SetBFlags(compressed.GetBFlags());
  explicit_little_endian(inflated);
  return true;
}

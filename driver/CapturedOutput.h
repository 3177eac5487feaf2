// The text a worker writes for one file, gathered in the order it was
// written, stream by stream, and replayed later on the real streams: the
// standard output and error of a parallel run then read as a sequential
// run's.
#ifndef MEDCONV_CAPTURED_OUTPUT_H
#define MEDCONV_CAPTURED_OUTPUT_H

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

class CapturedOutput {
 public:
  CapturedOutput() = default;
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  // A stream whose text is recorded for target. The same target always
  // gets the same stream, which lives as long as this object.
  std::ostream* For(std::ostream* target);
  // Writes what was recorded to the targets, in the order written, and
  // forgets it.
  void Replay();

 private:
  class Recorder : public std::streambuf {
   public:
    Recorder(CapturedOutput& owner, std::ostream* target) : owner_(owner), target_(target) {}
    std::ostream* Target() const { return target_; }

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize n) override;

   private:
    CapturedOutput& owner_;
    std::ostream* target_;
  };
  struct Recording {
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<std::ostream> stream;
  };

  void Append(std::ostream* target, const char* text, std::size_t n);

  std::vector<Recording> recordings_;
  std::vector<std::pair<std::ostream*, std::string>> pieces_;
};

#endif
